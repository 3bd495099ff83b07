#include "TestPeer.h"

// Qt
#include <QProcess>

// platform
#include "WinSock.h"

#include "TestSupport.h"

namespace testing_support {

TestPeer::TestPeer() : FProcess(new QProcess)
{
    FProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess->start(QStringLiteral("python3"), {QStringLiteral(VELMORA_PEER_SCRIPT)});
    FProcess->waitForStarted(10000);
}

TestPeer::~TestPeer()
{
    if (FProcess->state() != QProcess::NotRunning) {
        FProcess->write("quit\n");
        FProcess->closeWriteChannel();
        if (!FProcess->waitForFinished(5000)) {
            FProcess->kill();
            FProcess->waitForFinished(5000);
        }
    }
    delete FProcess;
}

void TestPeer::Post(const QString &line)
{
    FProcess->write(line.toUtf8() + '\n');
}

QString TestPeer::Answer(int timeoutMs)
{
    WaitUntil(
        [this] {
            FBuffer += FProcess->readAllStandardOutput();
            return FBuffer.contains('\n');
        },
        timeoutMs);
    const int end = FBuffer.indexOf('\n');
    if (end < 0)
        return {};
    const QString line = QString::fromUtf8(FBuffer.left(end));
    FBuffer.remove(0, end + 1);
    return line;
}

QString TestPeer::Command(const QString &line, int timeoutMs)
{
    Post(line);
    return Answer(timeoutMs);
}

int TestPeer::Connect(const QString &name, int port)
{
    const QStringList answer = Command(QStringLiteral("connect %1 %2").arg(name).arg(port)).split(' ');
    if (answer.size() == 3 && answer[0] == QLatin1String("connected"))
        return answer[2].toInt();
    return -1;
}

bool TestPeer::Send(const QString &name, const QByteArray &bytes)
{
    return Command(QStringLiteral("send %1 %2").arg(name, QString::fromLatin1(bytes.toHex())))
        .startsWith(QLatin1String("sent"));
}

QByteArray TestPeer::Receive(const QString &name, int count)
{
    const QStringList answer = Command(QStringLiteral("recv %1 %2").arg(name).arg(count)).split(' ');
    if (answer.size() != 3 || answer[0] != QLatin1String("data") || answer[2] == QLatin1String("-"))
        return {};
    return QByteArray::fromHex(answer[2].toLatin1());
}

bool TestPeer::Close(const QString &name)
{
    return Command(QStringLiteral("close %1").arg(name)).startsWith(QLatin1String("closed"));
}

bool TestPeer::Reset(const QString &name)
{
    return Command(QStringLiteral("reset %1").arg(name)).startsWith(QLatin1String("reset"));
}

bool TestPeer::WaitEof(const QString &name)
{
    return Command(QStringLiteral("eof %1").arg(name)).startsWith(QLatin1String("eof"));
}

int TestPeer::ReceiveBuffer(const QString &name)
{
    const QStringList answer = Command(QStringLiteral("buffers %1").arg(name)).split(' ');
    return answer.size() == 4 && answer[0] == QLatin1String("buffers") ? answer[3].toInt() : 0;
}

int UnusedPort(bool udp)
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, udp ? ws::SOCK_DGRAM_ : ws::SOCK_STREAM_, 0);
    ws::TSockAddrIn any;
    any.sin_family = ws::AF_INET_;
    any.sin_addr = ws::inet_addr("127.0.0.1");
    ws::bind(s, any);
    ws::TSockAddrIn bound;
    ws::getsockname(s, &bound);
    ws::closesocket(s);
    return ws::NetToHost16(bound.sin_port);
}

} // namespace testing_support
