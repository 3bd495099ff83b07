#include "UdpPeer.h"

// Qt
#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "TestSupport.h"

namespace testing_support {

namespace {

const char *const Script = R"PY(
import hashlib, socket, struct, sys

def pattern(n):
    return bytes((k * 31 + n) & 0xFF for k in range(n))

mode, address, args = sys.argv[1], sys.argv[2], sys.argv[3:]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)
s.bind((address, 0))
print(s.getsockname()[1], flush=True)
def receive(count):
    s.settimeout(10)
    for _ in range(count):
        d, a = s.recvfrom(70000)
        print(len(d), hashlib.sha1(d).hexdigest(), a[1], flush=True)

if mode == 'send':
    to, replies = ('127.0.0.1', int(args[0])), int(args[1])
    for n in args[2:]:
        s.sendto(pattern(int(n)), to)
    receive(replies)
elif mode == 'burst':
    to = ('127.0.0.1', int(args[0]))
    count, size = int(args[1]), int(args[2])
    pad = bytes(size - 4)
    for i in range(count):
        s.sendto(struct.pack('>I', i) + pad, to)
elif mode == 'recv':
    receive(int(args[0]))
)PY";

QString Python()
{
    // The system interpreter starts faster than a version manager's shim.
    if (QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
        return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

} // namespace

UdpPeer::~UdpPeer()
{
    if (FProcess) {
        FProcess->kill();
        FProcess->waitForFinished(2000);
        delete FProcess;
    }
}

std::unique_ptr<UdpPeer> UdpPeer::Start(const QStringList &args)
{
    std::unique_ptr<UdpPeer> peer(new UdpPeer);
    peer->FProcess = new QProcess;
    peer->FProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer->FProcess->start(Python(), QStringList{QStringLiteral("-c"), QString::fromLatin1(Script)} + args);
    if (!peer->FProcess->waitForStarted(30000))
        return nullptr;
    return peer;
}

std::unique_ptr<UdpPeer> UdpPeer::Sender(int toPort, const QList<int> &sizes, const QString &fromAddress, int replies)
{
    QStringList args{QStringLiteral("send"), fromAddress, QString::number(toPort), QString::number(replies)};
    for (int n : sizes)
        args << QString::number(n);
    return Start(args);
}

std::unique_ptr<UdpPeer> UdpPeer::Burst(int toPort, int count, int size)
{
    return Start({QStringLiteral("burst"), QStringLiteral("127.0.0.1"), QString::number(toPort), QString::number(count), QString::number(size)});
}

std::unique_ptr<UdpPeer> UdpPeer::Receiver(int count)
{
    return Start({QStringLiteral("recv"), QStringLiteral("127.0.0.1"), QString::number(count)});
}

void UdpPeer::ReadOutput()
{
    FPartial += FProcess->readAllStandardOutput();
    int nl;
    while ((nl = FPartial.indexOf('\n')) >= 0) {
        const QString line = QString::fromLatin1(FPartial.left(nl)).trimmed();
        FPartial.remove(0, nl + 1);
        if (FPort == 0)
            FPort = line.toInt();
        else
            FLines << line;
    }
}

int UdpPeer::Port()
{
    // The interpreter's start: seconds on a loaded machine.
    WaitUntil(
        [this] {
            ReadOutput();
            return FPort != 0 || FProcess->state() == QProcess::NotRunning;
        },
        30000);
    ReadOutput();
    return FPort;
}

bool UdpPeer::WaitLines(int n, int timeoutMs)
{
    return WaitUntil(
        [this, n] {
            ReadOutput();
            return FLines.size() >= n;
        },
        timeoutMs);
}

bool UdpPeer::WaitFinished(int timeoutMs)
{
    const bool done = WaitUntil([this] { return FProcess->state() == QProcess::NotRunning; }, timeoutMs);
    ReadOutput();
    return done;
}

bool UdpPeer::WaitFinishedHoldingEvents(int timeoutMs)
{
    const bool done = FProcess->waitForFinished(timeoutMs);
    ReadOutput();
    return done;
}

QByteArray UdpPeer::Pattern(int n)
{
    QByteArray bytes(n, '\0');
    for (int k = 0; k < n; ++k)
        bytes[k] = static_cast<char>((k * 31 + n) & 0xFF);
    return bytes;
}

QString UdpPeer::LineFor(const QByteArray &data, int sourcePort)
{
    return QStringLiteral("%1 %2 %3")
        .arg(data.size())
        .arg(QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex()))
        .arg(sourcePort);
}

} // namespace testing_support
