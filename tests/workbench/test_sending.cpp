// The send command of the data windows with real peers on 127.0.0.1: what goes on the wire, into
// the log and into the counters for each kind; TCP sends that have to wait; instances that are
// deleted or closed by their peer while a command is still sending.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

// Qt
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "PrivateNetwork.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TsuiButton.h"
#include "TreeNode.h"
#include "UdpPeer.h"
#include "Unit1.h"
#include "datapanel.h"
#include "CreateCommand.h"
#include "Expected.h"
#include "HeldPort.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "SendWaits.h"
#include "TClientSocket.h"
#include "TClientWinSocket.h"

using namespace testing_support;

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString SendLabel = QStringLiteral(" 发送数据：");
const QString NotConnected = QStringLiteral("未连接,数据未发送!");
constexpr int KiB = 1024;

// The first length bytes of unit sent over and over.
QByteArray Repeated(const QByteArray &unit, qsizetype length)
{
    return unit.repeated(length / unit.size() + 1).left(length);
}

class Sending : public testing_support::MainWindowTest {
protected:
    // Brings the window forward, types into the send box, sets the count and presses "发送数据".
    void Send(TFrmData *window, const QString &box, const QString &repeat, bool hex = false)
    {
        ShowWindow(*form, window->MySocket);
        window->CheckBox2->setChecked(hex);
        window->Memo3->setPlainText(box);
        window->ComboBox2->setCurrentText(repeat);
        // A real press and release: the skinned button clicks only from its own mouse handling.
        QTest::mouseClick(window->Button11, Qt::LeftButton);
    }

    // A TCP client connected to the peer's listener, as the peer's connection `name`.
    TMySocket *ConnectedClient(const QString &name = QStringLiteral("c"))
    {
        const int port = peer.Command(QStringLiteral("listen")).section(' ', 1).toInt();
        TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), port);
        client->DataWindow->Button5Click();
        EXPECT_TRUE(peer.Command(QStringLiteral("accept ") + name).startsWith(QLatin1String("accepted")));
        EXPECT_TRUE(WaitUntil([&] { return client->LinkState == 1; }));
        return client;
    }

    // A TCP server with the peer's connection `name` accepted; returns the accepted instance.
    TMySocket *AcceptedConnection(TMySocket **server, const QString &name = QStringLiteral("c"))
    {
        *server = form->CreateTcpServer(0);
        const int port = BoundPort(*server);
        EXPECT_GT(peer.Connect(name, port), 0);
        EXPECT_TRUE(WaitUntil([&] { return (*server)->Node->childCount() == 1; }));
        return NodeInstance((*server)->Node->child(0));
    }

    void Delete(TMySocket *instance)
    {
        form->TreeView1->setCurrentItem(instance->Node);
        form->Button2Click();
    }

    // The "LENGTH SHA1" the peer answers a digest command with, for these bytes.
    static QString DigestOf(const QByteArray &bytes)
    {
        return QString::number(bytes.size()) + ' '
            + QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    }

    TestPeer peer;
};

} // namespace

TEST_F(Sending, SendBoxAndRepeatCountDecideWhatIsLoggedCountedAndSent)
{
    struct Case {
        const char *name;
        bool hex;
        QString box;
        QString repeat;
        QByteArray wire; // what the peer receives
        QString logged;  // how the new log text ends; empty: no line, and the box is kept
        QStringList errors;
    };
    const Case cases[] = {
        {"text ab ten times", false, "ab", "10", QByteArray("ab").repeated(10), SendLabel + "ab[10次]", {}},
        {"hex 4142", true, "4142", "1", "AB", SendLabel + "{41 42 }AB[1次]", {}},
        {"hex 414: odd digit dropped", true, "414", "1", "A", SendLabel + "{41 }A[1次]", {}},
        {"lines joined by CR LF", false, "a\nb", "2", "a\r\nba\r\nb", "b[2次]", {}},
        {"empty box", false, "", "10", "", "", {}},
        {"lone hex digit", true, "4", "10", "", "", {}},
        {"repeat 0", false, "xy", "0", "", SendLabel + "xy[0次]", {}},
        {"repeat -5", false, "xy", "-5", "", SendLabel + "xy[-5次]", {}},
        // Refused before anything went: the text stays, and nothing claims it was sent.
        {"repeat abc", false, "xy", "abc", "", "", {"'abc' is not a valid integer value"}},
    };
    TMySocket *client = ConnectedClient();
    TFrmData *window = client->DataWindow;
    QByteArray wire;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        recorder.clear();
        const QString logBefore = window->LogText();
        const int64_t sentBefore = window->SendCount;
        window->StatusBar2Panel0->setText(QStringLiteral("untouched"));

        Send(window, c.box, c.repeat, c.hex);

        const QString log = window->LogText();
        if (c.logged.isEmpty()) {
            EXPECT_EQ(log, logBefore);
            EXPECT_EQ(window->StatusBar2Panel0->text(), QStringLiteral("untouched"));
        } else {
            EXPECT_EQ(log.count(SendLabel), logBefore.count(SendLabel) + 1);
            EXPECT_TRUE(log.endsWith(c.logged)) << log.right(40).toStdString();
            // Written once the command's bytes are counted.
            EXPECT_EQ(window->StatusBar2Panel0->text(), CountersText(0, sentBefore + c.wire.size()));
        }
        EXPECT_EQ(window->Memo3->toPlainText(), c.logged.isEmpty() ? c.box : QString());
        EXPECT_EQ(window->SendCount - sentBefore, c.wire.size());
        EXPECT_EQ(recorder.errors, c.errors);
        EXPECT_TRUE(recorder.messages.isEmpty());
        wire += c.wire;
    }
    // In order, and nothing besides.
    form->StopInstance(client);
    EXPECT_EQ(peer.Command(QStringLiteral("eof c")),
              QStringLiteral("data-before-eof c ") + QString::fromLatin1(wire.toHex()));
}

TEST_F(Sending, WindowsWithoutALinkLogButSendNothing)
{
    TMySocket *server = nullptr;
    TMySocket *accepted = AcceptedConnection(&server);
    Send(server->DataWindow, "zz", "3");
    EXPECT_EQ(server->DataWindow->SendCount, 6);
    EXPECT_TRUE(server->DataWindow->LogText().endsWith(SendLabel + "zz[3次]"));
    Send(accepted->DataWindow, "x", "1");
    EXPECT_EQ(peer.Receive("c", 1), QByteArray("x")); // the server's own sends never reached it

    // A client that was never connected says so, once, counts nothing, logs nothing and keeps
    // the text.
    HeldPort closed("127.0.0.1", ws::SOCK_STREAM_);
    TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), closed.port);
    Send(client->DataWindow, "ab", "10");
    EXPECT_EQ(client->DataWindow->LogText(), QString());
    EXPECT_EQ(client->DataWindow->Memo3->toPlainText(), QStringLiteral("ab"));
    EXPECT_EQ(client->DataWindow->SendCount, 0);
    EXPECT_EQ(recorder.all, QStringList{NotConnected});
}

TEST_F(Sending, AWholeMebibyteArrivesIntactThroughPartialAndBlockedSends)
{
    // 1 MiB of numbered lines, as many times as make more than the connection's buffers take
    // while the peer does not read, so sends are cut short and then have to wait.
    QString box;
    for (int i = 0; box.size() < KiB * KiB; ++i)
        box += QStringLiteral("line %1 ").arg(i, 6, 10, QLatin1Char('0')) + QString(48, QChar('a' + i % 26)) + '\n';
    box.truncate(KiB * KiB - 1);
    const QByteArray unit = box.toLatin1().replace("\n", "\r\n");

    TMySocket *client = ConnectedClient();
    const ws::TSocket sender = qobject_cast<TClientSocket *>(client->Socket)->Socket()->SocketHandle();
    const int64_t held = MoreThanTcpBuffersHold(SendBufferOf(sender), peer.ReceiveBuffer("c"));
    ASSERT_GT(held, 0);
    const int repeat = int(held / unit.size()) + 1;
    bool waited = false;
    Trigger startReading(Waiting(client->DataWindow), [&] {
        waited = true;
        peer.Post(QStringLiteral("digest c %1").arg(unit.size() * repeat));
    });
    Send(client->DataWindow, box, QString::number(repeat));

    EXPECT_TRUE(waited);
    EXPECT_EQ(peer.Answer(60000).section(' ', 2), DigestOf(unit.repeated(repeat)));
    EXPECT_EQ(client->DataWindow->SendCount, unit.size() * repeat);
    EXPECT_EQ(client->LinkState, 1);
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(Sending, ACommandEndsAtOnceWhenItsInstanceIsDeletedOrItsPeerCloses)
{
    enum class Ending { DeletedBetweenSends, DeletedWhileWaiting, ClosedByPeer };
    struct Case {
        const char *name;
        QString kind;
        Ending ending;
    };
    const Case cases[] = {
        {"client deleted", kind::TcpClient, Ending::DeletedBetweenSends},
        {"client deleted while its send waits", kind::TcpClient, Ending::DeletedWhileWaiting},
        {"client closed by its peer", kind::TcpClient, Ending::ClosedByPeer},
        {"accepted connection deleted", kind::TcpServerClient, Ending::DeletedBetweenSends},
        {"accepted connection closed by its peer", kind::TcpServerClient, Ending::ClosedByPeer},
        {"UDP client deleted", kind::UdpClient, Ending::DeletedBetweenSends},
    };
    const QByteArray unit = Repeated("0123456789abcdefghijklmnopqrstuvwxyz", KiB);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int repeat = 10000;
        form = std::make_unique<TForm1>();
        recorder.clear();
        const QString name = QStringLiteral("c%1").arg(&c - cases);
        TMySocket *server = nullptr;
        TMySocket *instance = nullptr;
        if (c.kind == kind::TcpClient)
            instance = ConnectedClient(name);
        else if (c.kind == kind::TcpServerClient)
            instance = AcceptedConnection(&server, name);
        else {
            server = form->CreateUdpServer(0); // the UDP client's sink
            instance = form->CreateUdpClient(QStringLiteral("127.0.0.1"), server->UdpServer->BoundPort(), 0);
        }
        const QPointer<TFrmData> window = instance->DataWindow;
        QTreeWidgetItem *parentNode = instance->Node->parent();
        if (c.kind != kind::UdpClient) {
            // More than the connection holds: the send cannot be over before its end comes.
            const ws::TSocket sender = c.kind == kind::TcpClient
                ? qobject_cast<TClientSocket *>(instance->Socket)->Socket()->SocketHandle()
                : qobject_cast<TCustomWinSocket *>(instance->Socket)->SocketHandle();
            const int64_t held = MoreThanTcpBuffersHold(SendBufferOf(sender), peer.ReceiveBuffer(name));
            repeat = int(std::max<int64_t>(repeat, held / unit.size() + 1));
        }

        int64_t deletedAt = -1;
        std::function<bool()> when = [] { return false; };
        if (c.ending == Ending::DeletedBetweenSends) {
            when = [&] { return window->SendCount >= 100 * KiB; };
            if (c.kind != kind::UdpClient)
                peer.Post(QStringLiteral("digest ") + name);
        } else if (c.ending == Ending::DeletedWhileWaiting) {
            when = Waiting(window);
        } else {
            peer.Post(QStringLiteral("recv %1 2000").arg(name));
            peer.Post(QStringLiteral("close ") + name);
        }
        Trigger deletion(when, [&] {
            deletedAt = window->SendCount;
            Delete(instance);
        });
        Send(window, QString::fromLatin1(unit), QString::number(repeat));
        DrainEvents();

        if (c.ending == Ending::ClosedByPeer) {
            EXPECT_TRUE(peer.Answer().startsWith(QLatin1String("data")));
            EXPECT_TRUE(peer.Answer().startsWith(QLatin1String("closed")));
        }
        if (c.kind == kind::TcpClient && c.ending == Ending::ClosedByPeer) {
            // The window stays, with every finished repetition counted and nothing else.
            ASSERT_TRUE(window);
            EXPECT_EQ(instance->LinkState, 0);
            EXPECT_GT(window->SendCount, 0);
            EXPECT_LT(window->SendCount, int64_t(repeat) * KiB);
            EXPECT_EQ(window->SendCount % KiB, 0);
            EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
            continue;
        }
        EXPECT_FALSE(window);
        EXPECT_FALSE(form->SocketList.Contains(instance));
        EXPECT_EQ(parentNode->childCount(), 0);
        if (c.ending == Ending::ClosedByPeer) {
            // The reset may surface as the accepted connection's socket error.
            EXPECT_LE(recorder.errors.size(), 1);
            for (const QString &e : recorder.errors)
                EXPECT_TRUE(e.startsWith(QLatin1String("Windows socket error: "))) << e.toStdString();
            EXPECT_TRUE(recorder.messages.isEmpty());
        } else {
            EXPECT_GT(deletedAt, 0);
            EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
        }
        if (server) {
            EXPECT_EQ(server->DataWindow->SendCount, 0);
            if (c.kind == kind::UdpClient)
                EXPECT_TRUE(WaitUntil([&] { return server->DataWindow->RecvCount == deletedAt; }))
                    << server->DataWindow->RecvCount << " received, " << deletedAt << " sent";
            else
                EXPECT_EQ(server->DataWindow->RecvCount, 0);
        }
        if (c.ending == Ending::DeletedBetweenSends && c.kind != kind::UdpClient) {
            EXPECT_EQ(peer.Answer(60000).section(' ', 2), DigestOf(Repeated(unit, deletedAt)));
        } else if (c.ending == Ending::DeletedWhileWaiting) {
            // Counted repetitions all went out; of the one that waited, only what was taken.
            const qsizetype got = peer.Command(QStringLiteral("digest ") + name, 60000).section(' ', 2, 2).toLongLong();
            EXPECT_GE(got, deletedAt);
            EXPECT_LT(got, deletedAt + KiB);
        }
    }
}

TEST_F(Sending, AUdpServerAnswersWhoeverSentLast)
{
    TMySocket *server = form->CreateUdpServer(0);
    const int port = server->UdpServer->BoundPort();
    auto first = UdpPeer::Sender(port, {3}, QStringLiteral("127.0.0.1"), 1);
    ASSERT_TRUE(first && WaitUntil([&] { return server->DataWindow->RecvCount == 3; }));
    auto second = UdpPeer::Sender(port, {4}, QStringLiteral("127.0.0.2"), 1);
    ASSERT_TRUE(second && WaitUntil([&] { return server->DataWindow->RecvCount == 7; }));

    Send(server->DataWindow, "hi", "1");
    ASSERT_TRUE(second->WaitLines(1));
    EXPECT_EQ(second->Lines(), QStringList{UdpPeer::LineFor("hi", port)});
    EXPECT_TRUE(first->Lines().isEmpty());
    EXPECT_EQ(server->DataWindow->SendCount, 2);
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(Sending, AUdpErrorEndsTheCommandWithThatRepetitionUncounted)
{
    struct Case {
        const char *name;
        QString kind;
        QString box;
        QString error;
    };
    const Case cases[] = {
        {"UDP server before its first datagram", kind::UdpServer, "hi", "No remote host"},
        {"datagram too long", kind::UdpClient, QString(TNMUDP::MaxDatagram + 1, 'x'), "Datagram too long"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        recorder.clear();
        TMySocket *instance = c.kind == kind::UdpServer ? form->CreateUdpServer(0)
                                                        : form->CreateUdpClient(QStringLiteral("127.0.0.1"), 9, 0);
        Send(instance->DataWindow, c.box, "3");
        EXPECT_EQ(instance->DataWindow->LogText().count(SendLabel), 1);
        // Refused before a byte went: the text stays in the box.
        EXPECT_EQ(instance->DataWindow->Memo3->toPlainText(), c.box);
        EXPECT_EQ(instance->DataWindow->SendCount, 0);
        ASSERT_EQ(recorder.errors.size(), 1);
        EXPECT_TRUE(recorder.errors[0].startsWith(c.error)) << recorder.errors[0].toStdString();
    }
}

TEST_F(Sending, AFailingGroupSendIsToldForEveryRepetitionAndTheRestGoOn)
{
    VELMORA_IN_PRIVATE_NETWORK();
    // No multicast route: the join and every send fail.
    TMySocket *member = form->CreateUdpGroup(QStringLiteral("239.1.2.3"), 45201);
    recorder.clear();
    Send(member->DataWindow, "grp", "3");
    ASSERT_EQ(recorder.messages.size(), 9) << recorder.messages.join('|').toStdString();
    EXPECT_GT(recorder.messages[0].toInt(), 10000) << "a socket error number";
    for (int i = 0; i < 9; i += 3)
        EXPECT_EQ(recorder.messages.mid(i, 3), (QStringList{recorder.messages[0], "send fail", "Not Send all"}));
    EXPECT_EQ(member->DataWindow->SendCount, 9);
}
