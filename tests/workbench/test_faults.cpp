// Faults from outside, through the main window as the user drives it: host names that do not
// resolve, ports taken by someone else at the wrong moment, peers that reset or close while a
// send is under way, an instance deleted in the middle of its own send. Nothing may crash or be
// left behind, the counters stay exact, and the user is told what the design says.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// Qt
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QTest>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

// platform
#include "WinSock.h"

#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "PortProbe.h"
#include "PrivateNetwork.h"
#include "TClientSocket.h"
#include "TNMUDP.h"
#include "TsuiButton.h"
#include "TMySocket.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "LogView.h"
#include "datapanel.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "SendWaits.h"
#include "TClientWinSocket.h"
#include "TCustomWinSocket.h"

using namespace testing_support;

namespace {

const QString UdpPortTaken = QStringLiteral("本地端口已被占用，请重新选择本地端口号");

// A socket of the test's own on 127.0.0.1:port, standing for another program.
class Squatter {
public:
    Squatter(int type, int port) : FSocket(ws::socket(ws::AF_INET_, type, 0))
    {
        ws::TSockAddrIn a;
        a.sin_family = ws::AF_INET_;
        a.sin_port = ws::HostToNet16(static_cast<uint16_t>(port));
        a.sin_addr = ws::inet_addr("127.0.0.1");
        // Past the server's own connections still in TIME_WAIT, as any other program may.
        ws::setReuseAddress(FSocket);
        FBound = ws::bind(FSocket, a) == 0 && (type != ws::SOCK_STREAM_ || ws::listen(FSocket, 1) == 0);
    }
    ~Squatter() { ws::closesocket(FSocket); }
    Squatter(const Squatter &) = delete;
    Squatter &operator=(const Squatter &) = delete;
    bool Bound() const { return FBound; }

private:
    ws::TSocket FSocket;
    bool FBound = false;
};

int OpenDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

constexpr int KiB = 1024;

QByteArray Repeated(const QByteArray &unit, qsizetype length)
{
    return unit.repeated(length / unit.size() + 1).left(length);
}

QString DigestOf(const QByteArray &bytes)
{
    return QString::number(bytes.size()) + ' '
        + QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

// Types into the send box, sets the count and presses "发送数据" as the user does.
void Send(TFrmData *window, const QString &box, const QString &repeat)
{
    window->Memo3->setPlainText(box);
    window->ComboBox2->setCurrentText(repeat);
    QTest::mouseClick(window->Button11, Qt::LeftButton);
}

class Faults : public testing_support::MainWindowTest {
protected:
    int InstancesOf(const QString &kindText) const
    {
        int n = 0;
        for (int i = 0; i < form->SocketList.Count(); ++i)
            n += form->SocketList.Items(i)->Kind == kindText;
        return n;
    }

};

} // namespace

TEST_F(Faults, AClientToANameThatDoesNotResolveStaysAndCanTryAgain)
{
    VELMORA_IN_PRIVATE_NETWORK(); // no name server query may leave the machine
    TMySocket *client = CreateThroughDialog(*form, kind::TcpClient,
                                            {{QStringLiteral("Edit1"), QStringLiteral("no-such-host.invalid")},
                                             {QStringLiteral("Edit2"), QStringLiteral("7000")}});
    ASSERT_NE(client, nullptr);
    auto *component = qobject_cast<TClientSocket *>(client->Socket);
    ASSERT_NE(component, nullptr);
    int lookupErrors = 0;
    const auto silencer = component->OnError;
    component->OnError = [&](QObject *sender, TCustomWinSocket *s, TErrorEvent e, int &code) {
        lookupErrors += e == eeLookup;
        silencer(sender, s, e, code);
    };

    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        client->DataWindow->Button5Click(); // "连接"
        ASSERT_TRUE(WaitUntil([&] { return lookupErrors == attempt; }, 20000));
        DrainEvents();
        EXPECT_FALSE(component->Active());
        EXPECT_EQ(client->LinkState, 0);
        EXPECT_EQ(StateIndex(client->Node), state::NotConnected);
        EXPECT_EQ(client->DataWindow->Label1->text(), QStringLiteral("已断开"));
        EXPECT_TRUE(client->DataWindow->Button5->isEnabled());
        // The client's errors are silenced: the user sees a connection that never comes up.
        EXPECT_TRUE(recorder.all.isEmpty());
    }
    EXPECT_EQ(form->SocketList.Count(), 1);

    // Deleted while a lookup is still under way: its answer finds nothing to report to.
    client->DataWindow->Button5Click();
    form->TreeView1->setCurrentItem(client->Node);
    form->Button2Click();
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_EQ(form->CategoryNode(kind::TcpClient)->childCount(), 0);
    DrainEvents();
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(Faults, AUdpPortTakenBetweenTheDialogsProbeAndTheBindMakesNothingAndSaysSo)
{
    // One port, free, taken, free again: a network of the test's own, where no other test runs.
    VELMORA_IN_PRIVATE_NETWORK();
    struct Case {
        const char *kindText;
        const char *portEdit;
    };
    for (const Case c : {Case{"UDP Server", "Edit3"}, Case{"UDP Client", "Edit3"}}) {
        const QString kindText = QString::fromLatin1(c.kindText);
        SCOPED_TRACE(c.kindText);
        recorder.clear();
        const int port = UnusedPort(true);
        int descriptors = 0;
        // Twice: what the first creation opens for good (the dialog, its pictures) is not counted.
        for (int attempt = 0; attempt < 2; ++attempt) {
            recorder.clear();
            if (attempt == 1)
                descriptors = OpenDescriptors();
            std::unique_ptr<Squatter> squatter;
            // The dialog's OK probes the port (free); someone binds it before the instance is made.
            form->TreeView1->setCurrentItem(form->CategoryNode(kindText));
            QTimer::singleShot(0, [&] {
                QWidget *dialog = QApplication::activeModalWidget();
                ASSERT_NE(dialog, nullptr);
                dialog->findChild<QLineEdit *>(QLatin1String(c.portEdit))->setText(QString::number(port));
                if (auto *host = dialog->findChild<QLineEdit *>(QStringLiteral("Edit1")))
                    host->setText(QStringLiteral("127.0.0.1"));
                QTest::mouseClick(dialog->findChild<QWidget *>(QStringLiteral("Button1")), Qt::LeftButton);
                squatter = std::make_unique<Squatter>(ws::SOCK_DGRAM_, port);
            });
            QTest::mouseClick(form->Button1, Qt::LeftButton); // "创建"
            ASSERT_TRUE(squatter && squatter->Bound());

            EXPECT_EQ(recorder.messages, QStringList{UdpPortTaken});
            EXPECT_TRUE(recorder.errors.isEmpty());
            EXPECT_EQ(InstancesOf(kindText), 0);
            EXPECT_EQ(form->CategoryNode(kindText)->childCount(), 0);
            EXPECT_EQ(form->DataWindows->Count(), 0);
            EXPECT_TRUE(form->Panel3->isVisible());
        }
        EXPECT_EQ(OpenDescriptors(), descriptors);

        // With the port free again the same creation works.
        recorder.clear();
        TMySocket *made = CreateThroughDialog(*form, kindText,
                                              {{QLatin1String(c.portEdit), QString::number(port)},
                                               {QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")}});
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->LocalPort, port);
        EXPECT_TRUE(recorder.all.isEmpty());
        // The main window's end leaves the port free as well.
        form = std::make_unique<TForm1>();
        form->show();
        EXPECT_FALSE(IsLocalPortTaken(port));
    }
}

TEST_F(Faults, AServerWhosePortWasTakenWhileItWasStoppedSaysSoAndStartsOnceItIsFree)
{
    // One port, listened on, taken, free again: a network of the test's own.
    VELMORA_IN_PRIVATE_NETWORK();
    TestPeer peer;
    const int port = UnusedPort();
    TMySocket *server = CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QString::number(port)}});
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(server->LinkState, 1);
    ASSERT_GT(peer.Connect("a", port), 0);
    ASSERT_TRUE(WaitUntil([&] { return InstancesOf(kind::TcpServerClient) == 1; }));

    // Stopped from its window: the connection goes with it.
    server->DataWindow->Button6MouseUp();
    ASSERT_TRUE(WaitUntil([&] { return InstancesOf(kind::TcpServerClient) == 0; }));
    EXPECT_EQ(server->Node->childCount(), 0);
    EXPECT_EQ(StateIndex(server->Node), state::Stopped);

    {
        Squatter squatter(ws::SOCK_STREAM_, port);
        ASSERT_TRUE(squatter.Bound());
        server->DataWindow->Button5Click(); // "启动监听"
        EXPECT_EQ(recorder.messages, QStringList{QStringLiteral("Socket端口已经被占用!")});
        EXPECT_EQ(server->LinkState, 0);
        EXPECT_EQ(StateIndex(server->Node), state::Stopped);
        EXPECT_EQ(server->DataWindow->Label1->text(), QStringLiteral("已停止"));
        EXPECT_FALSE(qobject_cast<TServerSocket *>(server->Socket)->Active());
    }

    recorder.clear();
    server->DataWindow->Button5Click();
    EXPECT_TRUE(recorder.all.isEmpty());
    EXPECT_EQ(server->LinkState, 1);
    EXPECT_EQ(StateIndex(server->Node), state::Listening);
    ASSERT_GT(peer.Connect("b", port), 0);
    ASSERT_TRUE(WaitUntil([&] { return InstancesOf(kind::TcpServerClient) == 1; }));
    EXPECT_EQ(form->SocketList.Count(), 2);
}

TEST_F(Faults, APeerThatResetsOrShutsItsSideMidSendEndsTheCommandWithEveryByteAccountedFor)
{
    struct Case {
        const char *name;
        QString kind;
        const char *end; // the peer's command
    };
    const Case cases[] = {
        {"client, peer resets", kind::TcpClient, "reset"},
        {"client, peer shuts its side", kind::TcpClient, "shutdown"},
        {"accepted connection, peer resets", kind::TcpServerClient, "reset"},
        {"accepted connection, peer shuts its side", kind::TcpServerClient, "shutdown"},
    };
    const QByteArray unit = Repeated("0123456789abcdefghijklmnopqrstuvwxyz", KiB);
    constexpr int ReadFirst = 20 * KiB;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        form = std::make_unique<TForm1>();
        form->show();
        recorder.clear();
        TestPeer peer;
        TMySocket *server = nullptr;
        TMySocket *instance = nullptr;
        if (c.kind == kind::TcpClient) {
            const int port = peer.Command("listen").section(' ', 1).toInt();
            instance = CreateThroughDialog(*form, kind::TcpClient,
                                           {{QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")},
                                            {QStringLiteral("Edit2"), QString::number(port)}});
            ASSERT_NE(instance, nullptr);
            instance->DataWindow->Button5Click();
            ASSERT_TRUE(peer.Command("accept c").startsWith(QLatin1String("accepted")));
            ASSERT_TRUE(WaitUntil([&] { return instance->LinkState == 1; }));
        } else {
            server = CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QStringLiteral("0")}});
            ASSERT_NE(server, nullptr);
            const int port = BoundPort(server);
            ASSERT_GT(peer.Connect("c", port), 0);
            ASSERT_TRUE(WaitUntil([&] { return server->Node->childCount() == 1; }));
            instance = NodeInstance(server->Node->child(0));
        }
        const QPointer<TFrmData> window = instance->DataWindow;
        // More than the connection holds: the send cannot be over before the peer goes.
        const ws::TSocket sender = c.kind == kind::TcpClient
            ? qobject_cast<TClientSocket *>(instance->Socket)->Socket()->SocketHandle()
            : qobject_cast<TCustomWinSocket *>(instance->Socket)->SocketHandle();
        const int Repeat = int(std::max<int64_t>(10000, MoreThanTcpBuffersHold(SendBufferOf(sender), peer.ReceiveBuffer("c")) / KiB + 1));

        // The peer takes the first bytes, then goes: reset at once, or shut its side and read
        // on until this side closes.
        peer.Post(QStringLiteral("recv c %1").arg(ReadFirst));
        peer.Post(QStringLiteral("%1 c").arg(QLatin1String(c.end)));
        const bool shut = QByteArray(c.end) == "shutdown";
        if (shut)
            peer.Post("digest c");
        Send(window, QString::fromLatin1(unit), QString::number(Repeat));
        DrainEvents();

        const QString first = peer.Answer(60000);
        ASSERT_TRUE(first.startsWith(QLatin1String("data c "))) << first.toStdString();
        EXPECT_EQ(QByteArray::fromHex(first.section(' ', 2).toLatin1()), unit.repeated(ReadFirst / KiB));
        EXPECT_FALSE(peer.Answer().isEmpty());
        qsizetype received = -1;
        if (shut) {
            // Everything that arrived is the stream as sent, not a byte garbled or out of place.
            const QString digest = peer.Answer(60000);
            received = ReadFirst + digest.section(' ', 2, 2).toLongLong();
            EXPECT_EQ(QString::number(received - ReadFirst) + ' ' + digest.section(' ', 3),
                      DigestOf(Repeated(unit, received).mid(ReadFirst)));
        }

        if (c.kind == kind::TcpClient) {
            // The client stays, down, with every repetition handed over whole counted, and no
            // box: its errors are silenced, and the link was there when the command began.
            ASSERT_TRUE(window);
            EXPECT_EQ(instance->LinkState, 0);
            EXPECT_EQ(StateIndex(instance->Node), state::NotConnected);
            EXPECT_EQ(window->Label1->text(), QStringLiteral("已断开"));
            EXPECT_EQ(window->SendCount % KiB, 0);
            EXPECT_GE(window->SendCount, ReadFirst);
            EXPECT_LT(window->SendCount, int64_t(Repeat) * KiB);
            if (shut) {
                EXPECT_GE(received, window->SendCount);
                EXPECT_LT(received, window->SendCount + KiB);
            }
            EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
            EXPECT_EQ(form->SocketList.Count(), 1);
        } else {
            // The accepted connection goes with its node and window; a reset may reach the user
            // as the connection's socket error, once.
            EXPECT_FALSE(window);
            EXPECT_EQ(server->Node->childCount(), 0);
            EXPECT_EQ(form->SocketList.Count(), 1);
            EXPECT_TRUE(WaitUntil([&] {
                return qobject_cast<TServerSocket *>(server->Socket)->Socket()->ActiveConnections() == 0;
            }));
            EXPECT_LE(recorder.errors.size(), shut ? 0 : 1) << recorder.errors.join('|').toStdString();
            for (const QString &e : recorder.errors)
                EXPECT_TRUE(e.startsWith(QLatin1String("Windows socket error: "))) << e.toStdString();
            EXPECT_TRUE(recorder.messages.isEmpty());
            if (shut) {
                EXPECT_EQ(received % KiB, 0);
            }
            EXPECT_EQ(server->LinkState, 1);
            EXPECT_EQ(server->DataWindow->RecvCount, 0);
        }
    }
}

TEST_F(Faults, AUdpClientToANameThatDoesNotResolveSaysSoAndCanBeDeletedWhileItLooksUp)
{
    VELMORA_IN_PRIVATE_NETWORK(); // no name server query may leave the machine
    TMySocket *client = form->CreateUdpClient(QStringLiteral("no-such-host.invalid"), 7000, 0);
    ASSERT_NE(client, nullptr);
    TFrmData *window = client->DataWindow;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        recorder.clear();
        Send(window, QStringLiteral("abc"), QStringLiteral("10"));
        // The component's error ends the command at the first repetition, uncounted.
        ASSERT_EQ(recorder.errors.size(), 1);
        EXPECT_EQ(recorder.errors[0], QStringLiteral("Host Lookup Canceled"));
        EXPECT_TRUE(recorder.messages.isEmpty());
        EXPECT_EQ(window->SendCount, 0);
        window->FlushLog();
        EXPECT_EQ(window->Memo2->lineCount(), attempt);
    }

    // Deleted while its send waits for the name: the command ends with its window, quietly.
    recorder.clear();
    const QPointer<TFrmData> gone = window;
    QTimer::singleShot(0, form.get(), [&] {
        form->TreeView1->setCurrentItem(client->Node);
        form->Button2Click();
    });
    Send(window, QStringLiteral("abc"), QStringLiteral("10"));
    DrainEvents();
    EXPECT_TRUE(gone.isNull());
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_EQ(form->CategoryNode(kind::UdpClient)->childCount(), 0);
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}
