// Files in a data window's context menus, chosen through the real menus (a popup that closes and
// deletes itself, as on screen) with dialogs that run an event loop, and real peers on loopback:
// the log saved, received blocks captured exactly as they came (also into FIFOs and devices that
// never keep up), and files sent through the window's endpoint, whole and alone on the wire.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// Qt
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "FileIo.h"
#include "LogView.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "ReceiveCapture.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "UdpPeer.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

QByteArray RandomBytes(qsizetype n)
{
    QByteArray bytes((n + 3) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    bytes.truncate(n);
    return bytes;
}

QString DigestOf(const QByteArray &bytes)
{
    return QString::number(bytes.size()) + ' '
        + QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The log's lines without their times.
QStringList Untimed(TFrmData *w)
{
    w->FlushLog();
    QStringList lines = w->LogText().split('\n');
    for (QString &line : lines)
        line = line.section(' ', 1);
    return lines;
}

// The most a TCP link on loopback can hold unread: the largest send and receive buffers.
qsizetype LoopbackBuffers()
{
    const auto most = [](const char *file) {
        return ReadAll(QString::fromLatin1(file)).simplified().split(' ').value(2).toLongLong();
    };
    return qsizetype(most("/proc/sys/net/ipv4/tcp_wmem") + most("/proc/sys/net/ipv4/tcp_rmem"));
}

class Files : public MainWindowTest {
protected:
    // A connection the program's TCP server accepted from the peer, its window shown.
    TFrmData *Accepted(TestPeer &from)
    {
        // Bound to a port of the system's choice, read back: no other test can take it meanwhile.
        TMySocket *server = form->CreateTcpServer(0);
        EXPECT_GT(from.Connect("c", BoundPort(server)), 0);
        EXPECT_TRUE(WaitUntil([&] { return server->Node->childCount() == 1; }));
        return server->Node->childCount() ? ShowWindow(*form, NodeInstance(server->Node->child(0))) : nullptr;
    }

    // Chooses a menu entry and lets what it started run (a send, a dialog) to its end.
    static void Choose(QWidget *box, const QStringList &path)
    {
        ASSERT_TRUE(ChooseContextMenuEntry(box, path)) << path.join('/').toStdString();
        DrainEvents();
    }
    // Saves and ended captures are in their files.
    static void Written()
    {
        ASSERT_TRUE(fileio::WaitForWorkers(10000));
        DrainEvents();
    }

    QTemporaryDir dir;
    TestPeer peer;
};

} // namespace

TEST_F(Files, TheLogIsSavedAsShownAndAFailedSaveLeavesNothingBehind)
{
    TFrmData *w = ShowWindow(*form, form->CreateUdpServer(0));
    w->LogReceived("first\xe4\xb8\xad");
    w->LogReceived(QByteArray("a\0b", 3));
    recorder.chosenFile = dir.filePath(QStringLiteral("log.txt"));
    Choose(w->Memo2, {QStringLiteral("保存接收区")});
    Written();
    const QStringList saved = QString::fromUtf8(ReadAll(recorder.chosenFile)).split('\n');
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0].section(' ', 1), QStringLiteral("收到数据：first中"));
    EXPECT_EQ(saved[1].section(' ', 1), QStringLiteral("收到数据：a␀b"));
    EXPECT_EQ(recorder.fileChoices, QList<ui::FileChoice>{ui::FileChoice::Save});
    EXPECT_TRUE(recorder.all.isEmpty());

    // A folder under the name, and a name in a folder that is not there: told, nothing written.
    for (const QString &bad : {dir.path(), dir.filePath(QStringLiteral("missing/log.txt"))}) {
        recorder.clear();
        recorder.chosenFile = bad;
        Choose(w->Memo2, {QStringLiteral("保存接收区")});
        Written();
        ASSERT_EQ(recorder.messages.size(), 1);
        EXPECT_TRUE(recorder.messages[0].startsWith(QStringLiteral("保存接收区失败："))) << recorder.messages[0].toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("log.txt")});
}

TEST_F(Files, ReceivedBlocksReachTheFileAndAnExistingFileIsAppendedToOrReplacedAsAnswered)
{
    TFrmData *w = Accepted(peer);
    const QString path = dir.filePath(QStringLiteral("capture.bin"));
    WriteFile(path, "old;");
    recorder.chosenFile = path;
    const QByteArray sent = RandomBytes(300 * 1024);
    // Appended to (the first answer), then replaced, then not captured at all (cancelled).
    const QByteArray expected[] = {"old;" + sent, sent, sent};
    for (int answer = 0; answer < 3; ++answer) {
        recorder.clear();
        recorder.answer = answer;
        Choose(w->Memo2, {QStringLiteral("接收到文件")});
        EXPECT_EQ(recorder.fileChoices, QList<ui::FileChoice>{ui::FileChoice::SaveUnconfirmed});
        ASSERT_EQ(recorder.questions.size(), 1);
        EXPECT_TRUE(recorder.questions[0].startsWith(QStringLiteral("文件“capture.bin”已存在"))) << answer;
        EXPECT_EQ(w->CapturePath(), answer < 2 ? path : QString());
        const int64_t before = w->RecvCount;
        for (qsizetype at = 0; at < sent.size(); at += 50 * 1024)
            ASSERT_TRUE(peer.Send("c", sent.mid(at, 50 * 1024)));
        ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == before + sent.size(); }));
        // Chosen again while on, the entry turns the capture off.
        if (answer < 2)
            Choose(w->Memo2, {QStringLiteral("接收到文件：") + path});
        EXPECT_TRUE(w->CapturePath().isEmpty());
        Written();
        EXPECT_EQ(DigestOf(ReadAll(path)), DigestOf(expected[answer])) << answer;
    }

    // A write that fails stops the capture and says why and how much was written.
    recorder.clear();
    recorder.chosenFile = QStringLiteral("/dev/full");
    Choose(w->Memo2, {QStringLiteral("接收到文件")});
    ASSERT_TRUE(peer.Send("c", "xyz"));
    ASSERT_TRUE(WaitUntil([&] { return !recorder.messages.isEmpty(); }));
    EXPECT_EQ(recorder.messages[0], QStringLiteral("接收到文件已停止：%1，已写入0字节").arg(fileio::ErrorText(ENOSPC)));
    EXPECT_TRUE(w->CapturePath().isEmpty());
}

TEST_F(Files, ACaptureIntoAFifoThatIsNotReadStopsAloneAndNothingElseStops)
{
    TFrmData *w = Accepted(peer);
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    recorder.chosenFile = fifo;
    // Nobody reads it: refused at once, not waited for.
    Choose(w->Memo2, {QStringLiteral("接收到文件")});
    EXPECT_EQ(recorder.messages, QStringList{QStringLiteral("无法接收到文件：没有程序在读取这个管道（FIFO）")});
    EXPECT_TRUE(recorder.questions.isEmpty());

    // A reader that takes a little, then reads no more.
    QProcess reader;
    reader.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral("import fcntl,os,sys,time\n"
                                                                                   "f=os.open(sys.argv[1],os.O_RDONLY|os.O_NONBLOCK)\n"
                                                                                   "fcntl.fcntl(f,fcntl.F_SETFL,0)\n"
                                                                                   "print('open',flush=True)\n"
                                                                                   "os.read(f,1000)\n"
                                                                                   "time.sleep(120)"),
                                             fifo});
    ASSERT_TRUE(WaitUntil([&] { return reader.canReadLine(); }, 10000));
    recorder.clear();
    Choose(w->Memo2, {QStringLiteral("接收到文件")});
    ASSERT_EQ(w->CapturePath(), fifo);
    // More than the capture may hold back: the peer's bytes all reach the window regardless.
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(w->MySocket->LocalPort)); // the connection's end: the server's port
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    TMySocket *server = NodeInstance(w->MySocket->Node->parent());
    ASSERT_TRUE(WaitUntil([&] { return server->Node->childCount() == 2; }));
    TFrmData *flooded = ShowWindow(*form, NodeInstance(server->Node->child(1)));
    Choose(flooded->Memo2, {QStringLiteral("接收到文件")});
    const qsizetype total = 80 * 1024 * 1024;
    const QByteArray chunk(256 * 1024, 'f');
    for (qsizetype sent = 0; sent < total;) {
        const ssize_t n = ::send(fd, chunk.constData(), size_t(std::min(chunk.size(), total - sent)), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else
            QCoreApplication::processEvents();
    }
    ASSERT_TRUE(WaitUntil([&] { return flooded->RecvCount == total && !recorder.messages.isEmpty(); }, 30000));
    ::close(fd);
    EXPECT_TRUE(recorder.messages[0].startsWith(QStringLiteral("接收到文件已停止：写入跟不上接收"))) << recorder.messages[0].toStdString();
    EXPECT_TRUE(flooded->CapturePath().isEmpty());
    // The other window's capture into the same FIFO was not stopped with it.
    EXPECT_EQ(recorder.messages.size(), 1);
    reader.kill();
    reader.waitForFinished();
}

TEST_F(Files, ACaptureThatFallsBehindAStreamHoldsItsReadsAndLosesNothingWhenThePeerCloses)
{
    const QString fifo = dir.filePath(QStringLiteral("slow-fifo"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    // A reader that comes late and then reads it all: the capture's queue fills meanwhile.
    QProcess reader;
    reader.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral("import fcntl,hashlib,os,sys,time\n"
                                                                                   "f=os.open(sys.argv[1],os.O_RDONLY|os.O_NONBLOCK)\n"
                                                                                   "fcntl.fcntl(f,fcntl.F_SETFL,0)\n"
                                                                                   "print('open',flush=True)\n"
                                                                                   "time.sleep(1)\n"
                                                                                   "h,n=hashlib.sha1(),0\n"
                                                                                   "while True:\n"
                                                                                   " d=os.read(f,1<<20)\n"
                                                                                   " if d: h.update(d); n+=len(d)\n"
                                                                                   " elif n: break\n"
                                                                                   " else: time.sleep(0.01)\n"
                                                                                   "print(n,h.hexdigest(),flush=True)"),
                                             fifo});
    ASSERT_TRUE(WaitUntil([&] { return reader.canReadLine(); }, 10000));
    reader.readLine();
    // More than the capture holds back, sent at once when told and then closed.
    const QByteArray sent = RandomBytes(TReceiveCapture::QueueLimit + 16 * 1024 * 1024);
    const QString path = dir.filePath(QStringLiteral("sent.bin"));
    WriteFile(path, sent);
    TMySocket *server = form->CreateTcpServer(0);
    QProcess sender;
    sender.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral("import socket,sys\n"
                                                                                   "s=socket.create_connection(('127.0.0.1',int(sys.argv[1])))\n"
                                                                                   "sys.stdin.readline()\n"
                                                                                   "s.sendall(open(sys.argv[2],'rb').read())\n"
                                                                                   "s.close()"),
                                             QString::number(BoundPort(server)),
                                             path});
    ASSERT_TRUE(WaitUntil([&] { return server->Node->childCount() == 1; }, 10000));
    TFrmData *w = ShowWindow(*form, NodeInstance(server->Node->child(0)));
    recorder.chosenFile = fifo;
    Choose(w->Memo2, {QStringLiteral("接收到文件")});
    ASSERT_EQ(w->CapturePath(), fifo) << recorder.all.join('|').toStdString();
    sender.write("go\n");
    // All of it reaches the FIFO, the part that waited in the connection when it closed too.
    ASSERT_TRUE(WaitUntil([&] { return reader.canReadLine(); }, 60000));
    EXPECT_EQ(QString::fromLatin1(reader.readLine()).trimmed(), DigestOf(sent));
    sender.waitForFinished();
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(Files, FilesFromTheRealMenuGoOutWholeAndTheMenuWorksAgainAfter)
{
    // Over UDP: one datagram, or nothing when longer than a datagram can be.
    auto receiver = UdpPeer::Receiver(2);
    ASSERT_TRUE(receiver && receiver->Port() > 0);
    TFrmData *u = ShowWindow(*form, form->CreateUdpClient(QStringLiteral("127.0.0.1"), receiver->Port(), 0));
    const QString file = dir.filePath(QStringLiteral("payload.bin"));
    recorder.chosenFile = file;
    const QByteArray small = RandomBytes(21), largest = RandomBytes(TNMUDP::MaxDatagram);
    for (const QByteArray &content : {small, largest, largest + "!"}) {
        WriteFile(file, content);
        Choose(u->Memo3, {QStringLiteral("发送文件")});
        // The menu that sent it is gone; a new one works.
        Choose(u->Memo3, {QStringLiteral("文字编码"), QStringLiteral("UTF-8")});
        EXPECT_EQ(u->CodePage(), 1);
    }
    ASSERT_TRUE(receiver->WaitLines(2));
    EXPECT_EQ(receiver->Lines().value(0).section(' ', 0, 1), DigestOf(small));
    EXPECT_EQ(receiver->Lines().value(1).section(' ', 0, 1), DigestOf(largest));
    EXPECT_EQ(recorder.messages, QStringList{QStringLiteral("文件大小65508字节，超过一个UDP数据报最多能带的65507字节，未发送")});
    EXPECT_EQ(u->SendCount, small.size() + largest.size());

    // Over TCP in pieces; files whose size the system tells wrong are read to their end and the
    // bytes that went out are the ones logged; an empty file, a FIFO and a device are refused.
    recorder.clear();
    TFrmData *w = Accepted(peer);
    const QByteArray large = RandomBytes(8 * 1024 * 1024 + 17);
    WriteFile(file, large);
    peer.Post(QStringLiteral("digest c %1").arg(large.size()));
    Choose(w->Memo3, {QStringLiteral("发送文件")});
    EXPECT_EQ(peer.Answer(60000).section(' ', 2), DigestOf(large));
    const struct {
        QString path;
        QByteArray holds;
    } told[] = {{QStringLiteral("/sys/class/net/lo/address"), "00:00:00:00:00:00\n"},
                {QStringLiteral("/proc/sys/kernel/ostype"), "Linux\n"}};
    for (const auto &t : told) {
        recorder.chosenFile = t.path;
        Choose(w->Memo3, {QStringLiteral("发送文件")});
        EXPECT_EQ(peer.Receive("c", int(t.holds.size())), t.holds);
        EXPECT_EQ(Untimed(w).last(), QStringLiteral("发送数据：文件%1（%2字节）[1次]")
                                         .arg(t.path.section('/', -1))
                                         .arg(t.holds.size()));
    }
    EXPECT_EQ(w->SendCount, large.size() + 18 + 6);
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    WriteFile(file, QByteArray());
    for (const QString &refused : {file, fifo, QStringLiteral("/dev/urandom")}) {
        recorder.chosenFile = refused;
        Choose(w->Memo3, {QStringLiteral("发送文件")});
    }
    EXPECT_EQ(recorder.messages, (QStringList{QStringLiteral("文件为空，未发送"),
                                              QStringLiteral("只能发送普通文件，这是一个管道（FIFO），未发送"),
                                              QStringLiteral("只能发送普通文件，这是一个字符设备，未发送")}));
    EXPECT_EQ(w->SendCount, large.size() + 18 + 6);
}

TEST_F(Files, ASendStartedWhileAFileGoesOutWaitsUntilTheWholeFileIsOut)
{
    TFrmData *w = Accepted(peer);
    // More than the link can hold unread, so that the file waits between its pieces.
    const QByteArray content(4 * LoopbackBuffers(), 'z');
    recorder.chosenFile = dir.filePath(QStringLiteral("zeds.bin"));
    WriteFile(recorder.chosenFile, content);
    // Typed and sent while the file is part way out; only then does the peer read.
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        if (w->SendCount == 0 || w->SendCount >= content.size())
            return;
        typist.stop();
        w->Memo3->setPlainText(QStringLiteral("XYZ"));
        w->Button11Click();
        peer.Post(QStringLiteral("digest c %1").arg(content.size()));
    });
    typist.start(5);
    Choose(w->Memo3, {QStringLiteral("发送文件")});
    EXPECT_FALSE(typist.isActive());
    EXPECT_EQ(peer.Answer(60000).section(' ', 2), DigestOf(content));
    EXPECT_EQ(peer.Receive("c", 3), QByteArray("XYZ"));
    EXPECT_EQ(w->SendCount, content.size() + 3);
    const QStringList log = Untimed(w);
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.mid(log.size() - 2), (QStringList{QStringLiteral("发送数据：文件zeds.bin（%1字节）[1次]").arg(content.size()),
                                                    QStringLiteral("发送数据：XYZ[1次]")}));
}

TEST_F(Files, APeerThatResetsWhileAFileDialogIsOpenTakesItsWindowAndTheEntryEndsQuietly)
{
    recorder.chosenFile = dir.filePath(QStringLiteral("chosen.bin"));
    WriteFile(recorder.chosenFile, "content");
    const QStringList entries[] = {{QStringLiteral("保存接收区")}, {QStringLiteral("接收到文件")}, {QStringLiteral("发送文件")}};
    for (const QStringList &entry : entries) {
        TestPeer resetting;
        const QPointer<TFrmData> w = Accepted(resetting);
        ASSERT_TRUE(w);
        recorder.whileOpen = [&] {
            resetting.Reset("c");
            EXPECT_TRUE(WaitUntil([&] { return w.isNull(); }));
        };
        Choose(entry[0] == QStringLiteral("发送文件") ? static_cast<QWidget *>(w->Memo3) : w->Memo2, entry);
        EXPECT_TRUE(w.isNull());
        EXPECT_EQ(recorder.dialogs.size(), 1);
        // The reset's own error box, as for any reset connection; nothing of the entry's.
        EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.all.join('|').toStdString();
        recorder.clear();
    }
    EXPECT_EQ(ReadAll(recorder.chosenFile), QByteArray("content"));
}

TEST_F(Files, AFileSendStopsSafelyWhenThePeerResetsTheInstanceGoesOrTheProgramQuits)
{
    recorder.chosenFile = dir.filePath(QStringLiteral("large.bin"));
    WriteFile(recorder.chosenFile, QByteArray(4 * LoopbackBuffers(), 'z'));
    // The peer never reads: the send waits on a full buffer, handling events, when it happens.
    for (int interruption = 0; interruption < 3; ++interruption) {
        TestPeer reader;
        const QPointer<TFrmData> w = Accepted(reader);
        TMySocket *accepted = w->MySocket;
        QTimer::singleShot(100, form.get(), [&] {
            if (interruption == 0) {
                reader.Reset("c");
            } else if (interruption == 1) {
                form->TreeView1->setCurrentItem(accepted->Node);
                form->Button2Click();
            } else {
                form->close();
            }
        });
        Choose(w->Memo3, {QStringLiteral("发送文件")});
        // Gone with its instance in every case: by the reset, the deletion, the quit.
        EXPECT_TRUE(WaitUntil([&] { return w.isNull(); })) << interruption;
    }
    EXPECT_EQ(form->SocketList.Count(), 0);
}
