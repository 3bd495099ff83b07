// Faults from outside, through the main window as the user drives it: host names that do not
// resolve, ports taken by someone else at the wrong moment, peers that reset or close while a
// send is under way, an instance deleted in the middle of its own send. Nothing may crash or be
// left behind, the counters stay exact, and the user is told what the design says.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

// platform
#include "WinSock.h"

#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "PrivateNetwork.h"
#include "TClientSocket.h"
#include "TMySocket.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "datapanel.h"

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

// A UDP port nothing is bound to right now.
int UnusedUdpPort()
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    ws::TSockAddrIn a;
    a.sin_family = ws::AF_INET_;
    a.sin_addr = ws::inet_addr("127.0.0.1");
    ws::bind(s, a);
    ws::getsockname(s, &a);
    ws::closesocket(s);
    return ws::NetToHost16(a.sin_port);
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        form->show();
    }

    void TearDown() override
    {
        form.reset();
        DrainEvents();
    }

    int InstancesOf(const QString &kindText) const
    {
        int n = 0;
        for (int i = 0; i < form->SocketList.Count(); ++i)
            n += form->SocketList.Items(i)->Kind == kindText;
        return n;
    }

    std::unique_ptr<TForm1> form;
    MessageRecorder recorder;
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
    struct Case {
        const char *kindText;
        const char *portEdit;
    };
    for (const Case c : {Case{"UDP Server", "Edit3"}, Case{"UDP Client", "Edit3"}}) {
        const QString kindText = QString::fromLatin1(c.kindText);
        SCOPED_TRACE(c.kindText);
        recorder.clear();
        const int port = UnusedUdpPort();
        std::unique_ptr<Squatter> squatter;
        // The dialog's OK probes the port (free), then someone binds it before the instance is made.
        form->TreeView1->setCurrentItem(form->CategoryNode(kindText));
        QTimer::singleShot(0, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QLineEdit *>(QLatin1String(c.portEdit))->setText(QString::number(port));
            if (auto *host = dialog->findChild<QLineEdit *>(QStringLiteral("Edit1")))
                host->setText(QStringLiteral("127.0.0.1"));
            dialog->findChild<QPushButton *>(QStringLiteral("Button1"))->click();
            squatter = std::make_unique<Squatter>(ws::SOCK_DGRAM_, port);
        });
        const int descriptors = OpenDescriptors();
        form->Button1->click(); // "创建"
        ASSERT_TRUE(squatter && squatter->Bound());

        EXPECT_EQ(recorder.messages, QStringList{UdpPortTaken});
        EXPECT_TRUE(recorder.errors.isEmpty());
        EXPECT_EQ(InstancesOf(kindText), 0);
        EXPECT_EQ(form->CategoryNode(kindText)->childCount(), 0);
        EXPECT_EQ(form->DataWindows->Count(), 0);
        EXPECT_TRUE(form->Panel3->isVisible());
        squatter.reset();
        EXPECT_EQ(OpenDescriptors(), descriptors);

        // With the port free again the same creation works.
        recorder.clear();
        TMySocket *made = CreateThroughDialog(*form, kindText,
                                              {{QLatin1String(c.portEdit), QString::number(port)},
                                               {QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")}});
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->LocalPort, port);
        EXPECT_TRUE(recorder.all.isEmpty());
        form->TreeView1->setCurrentItem(made->Node);
        form->Button2Click();
    }
}

TEST_F(Faults, AServerWhosePortWasTakenWhileItWasStoppedSaysSoAndStartsOnceItIsFree)
{
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
