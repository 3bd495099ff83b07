// The TCP handlers of the main window with real peers on 127.0.0.1: accepted connections as
// nodes with their own windows, received data in the right window, peers that close or reset,
// refused clients, taken ports, and the stop, delete and close rows of the TCP kinds.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "TClientSocket.h"
#include "TClientWinSocket.h"
#include "TMySocket.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "TsuiButton.h"
#include "Unit1.h"
#include "WinSock.h"
#include "LogView.h"
#include "datapanel.h"
#include "HeldPort.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "PrivateNetwork.h"

using namespace testing_support;

namespace {

const QString PortTaken = QStringLiteral("该端口已被占用,监听未启动!");

class TcpEvents : public testing_support::MainWindowTest {
protected:
    // A listening TCP server instance on the port the system chose.
    TMySocket *Server()
    {
        TMySocket *server = form->CreateTcpServer(0);
        EXPECT_EQ(server->LinkState, 1);
        port = BoundPort(server);
        EXPECT_GT(port, 0);
        return server;
    }

    QList<TMySocket *> Accepted() const
    {
        QList<TMySocket *> result;
        for (int i = 0; i < form->SocketList.Count(); ++i)
            if (form->SocketList.Items(i)->Kind == kind::TcpServerClient)
                result << form->SocketList.Items(i);
        return result;
    }

    // Connects a named peer and waits until its connection has become an instance.
    TMySocket *Accept(const QString &name)
    {
        const int before = Accepted().size();
        const int peerPort = peer.Connect(name, port);
        EXPECT_GT(peerPort, 0);
        // Its node may join the tree a moment later, with the others of a quick succession.
        EXPECT_TRUE(WaitUntil([&] { return Accepted().size() == before + 1 && Accepted().last()->Node->treeWidget(); }));
        TMySocket *instance = Accepted().value(before);
        EXPECT_TRUE(instance && instance->RemotePort == peerPort);
        return instance;
    }

    static TServerSocket *ServerSocket(TMySocket *instance) { return qobject_cast<TServerSocket *>(instance->Socket); }

    TestPeer peer;
    int port = 0;
};

} // namespace

TEST_F(TcpEvents, TwoAcceptedClientsGetTheirOwnNodesWindowsAndCounters)
{
    TMySocket *server = Server();
    EXPECT_EQ(StateIndex(server->Node), state::Listening);
    TMySocket *a = Accept("a");
    TMySocket *b = Accept("b");

    for (TMySocket *c : {a, b}) {
        EXPECT_EQ(c->Kind, kind::TcpServerClient);
        EXPECT_EQ(c->Node->parent(), server->Node);
        EXPECT_EQ(c->Node->text(0), QStringLiteral("127.0.0.1[%1]").arg(c->RemotePort));
        EXPECT_EQ(StateIndex(c->Node), state::Connected);
        EXPECT_EQ(NodeInstance(c->Node), c);
        EXPECT_EQ(c->LinkState, 1);
        EXPECT_EQ(c->RemoteHost, QStringLiteral("127.0.0.1"));
        EXPECT_EQ(c->LocalPort, port);
        ASSERT_NE(c->DataWindow, nullptr);
        EXPECT_EQ(c->DataWindow->MySocket, c);
        EXPECT_EQ(static_cast<TMySocket *>(qobject_cast<TCustomWinSocket *>(c->Socket)->Data), c);
        ShowWindow(*form, c);
        EXPECT_EQ(c->DataWindow->Label1->text(), QStringLiteral("已连接"));
        EXPECT_FALSE(c->DataWindow->Button5->isVisible());
        EXPECT_TRUE(c->DataWindow->Button6->isEnabled());
    }
    EXPECT_NE(a->DataWindow, b->DataWindow);
    EXPECT_TRUE(server->Node->isExpanded());
    EXPECT_EQ(form->TreeView1->currentItem(), b->Node);

    ASSERT_TRUE(peer.Send("a", "hello"));
    ASSERT_TRUE(WaitUntil([&] { return a->DataWindow->RecvCount == 5; }));
    ASSERT_TRUE(peer.Send("b", QByteArray("\x00\x01", 2)));
    ASSERT_TRUE(WaitUntil([&] { return b->DataWindow->RecvCount == 2; }));
    EXPECT_EQ(a->DataWindow->RecvCount, 5);
    EXPECT_TRUE(a->DataWindow->LogText().endsWith(QStringLiteral("hello")));
    EXPECT_EQ(a->DataWindow->LogLineCount(), 1);
    EXPECT_EQ(server->DataWindow->RecvCount, 0);
    EXPECT_TRUE(server->DataWindow->LogText().isEmpty());
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(TcpEvents, APeerThatClosesOrResetsLeavesNoTraceButTheServer)
{
    struct Case {
        const char *how;
        QStringList errorBoxes;
    };
    const Case cases[] = {
        {"close", {}},
        {"reset", {QStringLiteral("Windows socket error: Connection reset by peer (10054), on API 'recv'")}},
    };
    TMySocket *server = Server();
    TMySocket *stays = Accept("stays");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.how);
        recorder.clear();
        TMySocket *gone = Accept(c.how);
        QPointer<TFrmData> window = gone->DataWindow;
        form->TreeView1->setCurrentItem(gone->Node);
        ASSERT_TRUE(peer.Send(c.how, "last words"));
        ASSERT_TRUE(WaitUntil([&] { return window->RecvCount == 10; }));
        peer.Command(QStringLiteral("%1 %1").arg(QLatin1String(c.how)));
        ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
        DrainEvents();

        EXPECT_EQ(Accepted(), QList<TMySocket *>{stays});
        EXPECT_EQ(server->Node->childCount(), 1);
        EXPECT_EQ(StateIndex(server->Node), state::Listening);
        EXPECT_EQ(server->LinkState, 1);
        EXPECT_EQ(form->SocketList.Count(), 2);
        EXPECT_EQ(recorder.errors, c.errorBoxes);
        EXPECT_TRUE(recorder.messages.isEmpty());
        EXPECT_EQ(ServerSocket(server)->Socket()->ActiveConnections(), 1);
    }
}

TEST_F(TcpEvents, NoAcceptedConnectionStaysAfterItsPeerIsGone)
{
    MessageRecorder quiet; // resets end in error boxes: not the point here
    Server();
    const QStringList ends{"close", "reset", "close", "reset", "close"};
    for (int i = 0; i < ends.size(); ++i)
        Accept(QStringLiteral("p%1").arg(i));
    // Peers that connect and go at once, before their connection is even seen.
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("q%1").arg(i);
        ASSERT_GT(peer.Connect(name, port), 0);
        peer.Command(QStringLiteral("%1 %2").arg(i % 2 ? "reset" : "close", name));
    }
    for (int i = 0; i < ends.size(); ++i) {
        if (i % 2)
            peer.Send(QStringLiteral("p%1").arg(i), "data before the end");
        peer.Command(QStringLiteral("%1 p%2").arg(ends[i]).arg(i));
    }
    EXPECT_TRUE(WaitUntil([&] { return Accepted().isEmpty(); })) << Accepted().size() << " still listed";
    DrainEvents();
    EXPECT_TRUE(Accepted().isEmpty());
    EXPECT_EQ(form->SocketList.Count(), 1);
}

TEST_F(TcpEvents, AClientToAClosedPortShowsNoConnectOrDisconnect)
{
    // Bound by the test but not listening: a connect there is refused, and nobody else takes it.
    HeldPort closed("127.0.0.1", ws::SOCK_STREAM_);
    ASSERT_GT(closed.port, 0);
    TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), closed.port);
    auto *component = qobject_cast<TClientSocket *>(client->Socket);
    ASSERT_NE(component, nullptr);
    int errors = 0;
    int events = 0;
    const auto silencer = component->OnError;
    component->OnError = [&](QObject *sender, TCustomWinSocket *s, TErrorEvent e, int &code) {
        ++errors;
        silencer(sender, s, e, code);
    };
    for (auto *handler : {&component->OnConnect, &component->OnDisconnect}) {
        const auto original = *handler;
        *handler = [&events, original](QObject *sender, TCustomWinSocket *s) {
            ++events;
            original(sender, s);
        };
    }
    client->DataWindow->Button5Click();
    // Not bound while its host is looked up: no port to show.
    EXPECT_EQ(client->LocalPort, 0);
    ASSERT_TRUE(WaitUntil([&] { return errors == 1; }));
    DrainEvents();
    EXPECT_EQ(events, 0);
    EXPECT_EQ(client->LinkState, 0);
    EXPECT_EQ(StateIndex(client->Node), state::NotConnected);
    EXPECT_FALSE(component->Active());
    EXPECT_EQ(client->DataWindow->Label1->text(), QStringLiteral("已断开"));
    EXPECT_TRUE(client->DataWindow->Button5->isEnabled());
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(TcpEvents, AFailedConnectSaysWhyInTheClientsWindowAndShowsNoPortOfMinusOne)
{
    // A port bound but not listening refuses; a name under "invalid" never resolves, and is
    // answered on this machine without asking any name server.
    HeldPort closed("127.0.0.1", ws::SOCK_STREAM_);
    ASSERT_GT(closed.port, 0);
    const struct {
        QString host;
        int port;
        int code;
    } failures[] = {{QStringLiteral("127.0.0.1"), closed.port, ws::WSAECONNREFUSED},
                    {QStringLiteral("no-such-host.velmora.invalid"), 80, ws::WSAHOST_NOT_FOUND}};
    for (const auto &failure : failures) {
        SCOPED_TRACE(failure.host.toStdString());
        TMySocket *client = CreateThroughDialog(*form, kind::TcpClient,
                                                {{QStringLiteral("Edit1"), failure.host},
                                                 {QStringLiteral("Edit2"), QString::number(failure.port)}});
        ASSERT_NE(client, nullptr);
        TFrmData *w = ShowWindow(*form, client);
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w->Button5, Qt::LeftButton);
        EXPECT_EQ(w->Label6->text(), QStringLiteral("本地端口:0"));
        ASSERT_TRUE(WaitUntil([&] { return w->LogLineCount() == 1; }));
        DrainEvents();
        const QString why = QStringLiteral(" 连接失败：%1[%2]，").arg(failure.host).arg(failure.port)
            + ws::ReasonText(failure.code);
        const QString line = w->LogText().trimmed();
        EXPECT_TRUE(line.endsWith(why)) << line.toStdString();
        // The time stamp, as every line of the log starts.
        EXPECT_EQ(line.chopped(why.size()).count(u':'), 2) << line.toStdString();
        EXPECT_EQ(w->LogLineCount(), 1);
        EXPECT_EQ(w->Label1->text(), QStringLiteral("已断开"));
        EXPECT_EQ(w->Label6->text(), QStringLiteral("本地端口:0"));
        EXPECT_EQ(client->LinkState, 0);
        EXPECT_TRUE(w->Button5->isEnabled());
    }
    EXPECT_TRUE(ws::ReasonText(ws::WSAECONNREFUSED).startsWith(QStringLiteral("由于目标计算机积极拒绝")));
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(TcpEvents, AClientConnectsLogsWhatArrivesAndSurvivesThePeersClose)
{
    const int serverPort = peer.Command("listen").section(' ', 1).toInt();
    TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), serverPort);
    EXPECT_EQ(StateIndex(client->Node), state::NotConnected);
    for (const char *name : {"first", "second"}) {
        SCOPED_TRACE(name);
        client->DataWindow->Button5Click();
        peer.Post(QStringLiteral("accept %1").arg(name));
        ASSERT_TRUE(WaitUntil([&] { return client->LinkState == 1; }));
        const QStringList accepted = peer.Answer().split(' ');
        EXPECT_EQ(StateIndex(client->Node), state::Connected);
        EXPECT_EQ(client->LocalPort, accepted.value(2).toInt());
        EXPECT_EQ(client->DataWindow->Label1->text(), QStringLiteral("已连接"));
        EXPECT_EQ(client->DataWindow->Label6->text(), QStringLiteral("本地端口:") + accepted.value(2));

        const qint64 before = client->DataWindow->RecvCount;
        ASSERT_TRUE(peer.Send(name, "abc"));
        ASSERT_TRUE(WaitUntil([&] { return client->DataWindow->RecvCount == before + 3; }));
        ASSERT_TRUE(peer.Close(name));
        ASSERT_TRUE(WaitUntil([&] { return client->LinkState == 0; }));
        EXPECT_EQ(StateIndex(client->Node), state::NotConnected);
        EXPECT_EQ(client->DataWindow->Label1->text(), QStringLiteral("已断开"));
        EXPECT_TRUE(form->SocketList.Contains(client));
    }
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(TcpEvents, ASecondServerOnATakenPortReportsItAndStartsLaterFromItsWindow)
{
    // The first server's port bound again once it is gone: no other test may take it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    TMySocket *first = Server();
    TMySocket *second = form->CreateTcpServer(port);
    EXPECT_EQ(recorder.messages, QStringList{PortTaken});
    EXPECT_EQ(second->LinkState, 0);
    EXPECT_EQ(StateIndex(second->Node), state::Stopped);
    EXPECT_EQ(second->DataWindow->Label1->text(), QStringLiteral("已停止"));
    EXPECT_TRUE(second->DataWindow->Button5->isEnabled());
    EXPECT_FALSE(second->DataWindow->Button6->isEnabled());

    recorder.clear();
    second->DataWindow->Button5Click();
    EXPECT_EQ(recorder.messages, QStringList{QStringLiteral("Socket端口已经被占用!")});
    EXPECT_EQ(StateIndex(second->Node), state::Stopped);

    form->TreeView1->setCurrentItem(first->Node);
    form->Button2Click();
    recorder.clear();
    second->DataWindow->Button5Click();
    EXPECT_TRUE(recorder.all.isEmpty());
    EXPECT_EQ(second->LinkState, 1);
    EXPECT_EQ(StateIndex(second->Node), state::Listening);
    EXPECT_EQ(second->DataWindow->Label1->text(), QStringLiteral("已启动"));
    Accept("works");
}

TEST_F(TcpEvents, StoppingAServerClosesItsConnectionsThenTheListener)
{
    struct Case {
        const char *from;
        std::function<void(TForm1 *, TMySocket *)> stop;
    };
    const Case cases[] = {
        {"data window", [](TForm1 *, TMySocket *s) { s->DataWindow->Button6MouseUp(); }},
        {"tool bar",
         [](TForm1 *f, TMySocket *s) {
             f->TreeView1->setCurrentItem(s->Node);
             f->Button6Click();
         }},
    };
    // A stopped listener's port must stay unanswered, and is listened on again: a network of the
    // test's own, where no other test may take it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    // A fixed port: a server made on port 0 would listen on another one each time it starts.
    port = 6000;
    TMySocket *server = form->CreateTcpServer(port);
    ASSERT_EQ(server->LinkState, 1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.from);
        QList<QPointer<TFrmData>> windows;
        for (const char *name : {"a", "b", "c"})
            windows << Accept(name)->DataWindow;
        c.stop(form.get(), server);
        EXPECT_TRUE(Accepted().isEmpty());
        for (const auto &w : windows)
            EXPECT_TRUE(w.isNull());
        EXPECT_EQ(server->Node->childCount(), 0);
        EXPECT_EQ(server->LinkState, 0);
        EXPECT_EQ(StateIndex(server->Node), state::Stopped);
        EXPECT_EQ(server->DataWindow->Label1->text(), QStringLiteral("已停止"));
        for (const char *name : {"a", "b", "c"})
            EXPECT_TRUE(peer.WaitEof(name));
        EXPECT_EQ(peer.Connect("late", port), -1) << "the listener is closed";

        server->DataWindow->Button5Click();
        ASSERT_EQ(server->LinkState, 1);
    }
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(TcpEvents, DeletingAServerRemovesItsConnectionsFirst)
{
    TMySocket *server = Server();
    TMySocket *other = Server();
    port = BoundPort(other);
    Accept("elsewhere");
    port = BoundPort(server);
    Accept("a");
    Accept("b");
    TServerSocket *component = ServerSocket(server);
    QStringList seen;
    const auto closed = component->OnClientDisconnect;
    component->OnClientDisconnect = [&](QObject *sender, TCustomWinSocket *s) {
        closed(sender, s);
        seen << QStringLiteral("server listed=%1 node in tree=%2")
                    .arg(form->SocketList.Contains(server))
                    .arg(server->Node->treeWidget() != nullptr);
    };

    form->TreeView1->setCurrentItem(server->Node);
    form->Button2Click();
    EXPECT_EQ(seen, QStringList(2, QStringLiteral("server listed=1 node in tree=1")));
    EXPECT_EQ(form->SocketList.Count(), 2) << "the other server and its connection stay";
    EXPECT_EQ(Accepted().size(), 1);
    EXPECT_TRUE(peer.WaitEof("a"));
    EXPECT_TRUE(peer.WaitEof("b"));
    DrainEvents();
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(TcpEvents, ClosingAConnectionTwiceGivesOneDisconnect)
{
    TMySocket *server = Server();
    TMySocket *a = Accept("a");
    QPointer<TCustomWinSocket> connection = qobject_cast<TCustomWinSocket *>(a->Socket);
    int disconnects = 0;
    TServerSocket *component = ServerSocket(server);
    const auto closed = component->OnClientDisconnect;
    component->OnClientDisconnect = [&](QObject *sender, TCustomWinSocket *s) {
        ++disconnects;
        closed(sender, s);
    };
    // The tool bar stop, then the connection again before its deferred free.
    form->TreeView1->setCurrentItem(a->Node);
    form->Button6Click();
    ASSERT_FALSE(connection.isNull());
    connection->Close();
    EXPECT_EQ(disconnects, 1);
    EXPECT_TRUE(Accepted().isEmpty());
    EXPECT_TRUE(peer.WaitEof("a"));

    // Deleting an accepted connection from the tool bar closes it the same way.
    TMySocket *b = Accept("b");
    form->TreeView1->setCurrentItem(b->Node);
    form->Button2Click();
    EXPECT_EQ(disconnects, 2);
    EXPECT_TRUE(Accepted().isEmpty());
    EXPECT_TRUE(peer.WaitEof("b"));
    DrainEvents();
    EXPECT_EQ(component->Socket()->ActiveConnections(), 0);
}

TEST_F(TcpEvents, ClosingTheMainWindowStopsEveryServer)
{
    // The closed ports must stay unanswered: no other test may listen there meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    Server();
    const int first = port;
    Server();
    form->close();
    EXPECT_EQ(peer.Connect("a", first), -1);
    EXPECT_EQ(peer.Connect("b", port), -1);
}
