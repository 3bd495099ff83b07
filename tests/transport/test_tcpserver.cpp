// The TCP server component against real peers on 127.0.0.1: accepting, reading, the peer's close
// and reset, closing, stopping, port conflicts, and handlers that run nested event loops.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

// Qt
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QPointer>
#include <QTimer>

#include "ESocketError.h"
#include "Exception.h"
#include "TServerClientWinSocket.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
#include "TestPeer.h"
#include "PrivateNetwork.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

// Listens on a free port and writes down every event of its connections.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<TServerSocket>();
        server->OnClientConnect = [this](QObject *sender, TCustomWinSocket *s) {
            EXPECT_EQ(sender, server->Socket());
            log << QStringLiteral("connect %1").arg(s->RemotePort());
            connections << s;
        };
        server->OnClientDisconnect = [this](QObject *, TCustomWinSocket *s) {
            log << QStringLiteral("disconnect %1").arg(connections.indexOf(s));
        };
        server->OnClientRead = [this](QObject *, TCustomWinSocket *s) {
            const QByteArray bytes = s->ReceiveAll();
            received[connections.indexOf(s)] += bytes;
            ++reads;
        };
        server->OnClientError = [this](QObject *, TCustomWinSocket *s, TErrorEvent kind, int &code) {
            log << QStringLiteral("error %1 kind %2 code %3").arg(connections.indexOf(s)).arg(kind).arg(code);
            if (silenceClientErrors)
                code = 0;
        };
        server->SetPort(0);
        server->SetActive(true);
        port = server->Socket()->LocalPort();
        ASSERT_GT(port, 0);
    }

    void TearDown() override
    {
        server.reset();
        DrainEvents();
    }

    // Connects a named peer and waits for the accept.
    int ConnectPeer(const QString &name)
    {
        const int before = connections.size();
        const int peerPort = peer.Connect(name, port);
        EXPECT_GT(peerPort, 0);
        EXPECT_TRUE(WaitUntil([&] { return connections.size() == before + 1; }));
        return peerPort;
    }

    MessageRecorder recorder;
    TestPeer peer;
    std::unique_ptr<TServerSocket> server;
    int port = 0;
    QStringList log;
    QList<QPointer<TCustomWinSocket>> connections;
    QMap<int, QByteArray> received;
    int reads = 0;
    bool silenceClientErrors = false;
};

} // namespace

TEST_F(ServerTest, AcceptsInOrderAndKeepsTheConnectionList)
{
    const int first = ConnectPeer("a");
    const int second = ConnectPeer("b");

    EXPECT_TRUE(server->Active());
    EXPECT_EQ(log, (QStringList{QStringLiteral("connect %1").arg(first), QStringLiteral("connect %1").arg(second)}));
    TServerWinSocket *listening = server->Socket();
    ASSERT_EQ(listening->ActiveConnections(), 2);
    EXPECT_EQ(listening->Connections(0), connections[0].data());
    EXPECT_EQ(listening->Connections(1), connections[1].data());
    EXPECT_EQ(listening->Connections(2), nullptr);
    for (int i = 0; i < 2; ++i) {
        TCustomWinSocket *c = listening->Connections(i);
        EXPECT_TRUE(c->Connected());
        EXPECT_EQ(c->RemoteAddress(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(c->LocalPort(), port);
        EXPECT_EQ(c->Data, nullptr);
        EXPECT_EQ(qobject_cast<TServerClientWinSocket *>(c)->ServerWinSocket(), listening);
    }
    EXPECT_EQ(connections[1]->RemotePort(), second);
}

TEST_F(ServerTest, ReadEventsDeliverExactlyTheBytesOfEachPeer)
{
    ConnectPeer("a");
    ConnectPeer("b");
    const QByteArray binary("\x00\xff\r\n\x7f" "abc", 8);
    ASSERT_TRUE(peer.Send("b", binary));
    ASSERT_TRUE(peer.Send("a", "hello"));
    ASSERT_TRUE(WaitUntil([&] { return received[0] == "hello" && received[1] == binary; }));

    // A large block arrives whole, in as many read events as the loop needed.
    const QByteArray big(300 * 1024, 'x');
    ASSERT_TRUE(peer.Send("a", big));
    ASSERT_TRUE(WaitUntil([&] { return received[0].size() == 5 + big.size(); }));
    EXPECT_EQ(received[0].mid(5), big);
    EXPECT_FALSE(log.join(' ').contains("disconnect"));
}

TEST_F(ServerTest, PeerCloseGivesOneDisconnectAndTheConnectionIsFreedLater)
{
    ConnectPeer("a");
    ConnectPeer("b");
    QStringList seen;
    server->OnClientDisconnect = [&](QObject *, TCustomWinSocket *s) {
        log << QStringLiteral("disconnect %1").arg(connections.indexOf(s));
        // Still whole during its disconnect event, and still listed.
        seen << QStringLiteral("%1 %2 %3").arg(s->Connected()).arg(s->RemoteAddress()).arg(server->Socket()->ActiveConnections());
    };
    ASSERT_TRUE(peer.Send("a", "bye"));
    ASSERT_TRUE(peer.Close("a"));
    ASSERT_TRUE(WaitUntil([&] { return connections[0].isNull(); }));
    // Data sent before the close is read before the disconnect.
    EXPECT_EQ(received[0], "bye");
    EXPECT_EQ(log.mid(2), QStringList{"disconnect 0"});
    EXPECT_EQ(seen, QStringList{"1 127.0.0.1 2"});
    EXPECT_EQ(server->Socket()->ActiveConnections(), 1);
    EXPECT_EQ(server->Socket()->Connections(0), connections[1].data());

    DrainEvents();
    EXPECT_EQ(log.mid(2), QStringList{"disconnect 0"});
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(ServerTest, PeerResetIsAReceiveFailure)
{
    struct Case {
        bool silence;
        QStringList boxes;
    };
    const QString text = QStringLiteral("Windows socket error: Connection reset by peer (10054), on API 'recv'");
    for (const Case &c : {Case{false, {text}}, Case{true, {}}}) {
        SCOPED_TRACE(c.silence ? "silenced" : "raised");
        log.clear();
        connections.clear();
        recorder.clear();
        silenceClientErrors = c.silence;
        ConnectPeer("r");
        ASSERT_TRUE(peer.Reset("r"));
        ASSERT_TRUE(WaitUntil([&] { return log.contains("disconnect 0"); }));
        DrainEvents();
        EXPECT_EQ(log.mid(1), (QStringList{"error 0 kind 2 code 10054", "disconnect 0"}));
        EXPECT_EQ(recorder.errors, c.boxes);
        EXPECT_EQ(connections[0], nullptr);
        EXPECT_EQ(server->Socket()->ActiveConnections(), 0);
    }
}

TEST_F(ServerTest, ClosingTwiceOrFromTheDisconnectHandlerGivesOneDisconnect)
{
    ConnectPeer("a");
    ConnectPeer("b");
    server->OnClientDisconnect = [this](QObject *, TCustomWinSocket *s) {
        log << QStringLiteral("disconnect %1").arg(connections.indexOf(s));
        s->Close(); // handlers may close again: no second event
    };
    connections[0]->Close();
    connections[0]->Close();
    EXPECT_EQ(log.count("disconnect 0"), 1);
    ASSERT_TRUE(peer.WaitEof("a"));

    peer.Close("b");
    ASSERT_TRUE(WaitUntil([&] { return connections[1].isNull(); }));
    DrainEvents();
    EXPECT_EQ(log.count("disconnect 1"), 1);
    EXPECT_EQ(server->Socket()->ActiveConnections(), 0);
}

TEST_F(ServerTest, ClosingEveryConnectionByIndexClosesThemAll)
{
    for (const char *name : {"a", "b", "c"})
        ConnectPeer(name);
    TServerWinSocket *listening = server->Socket();
    const int count = listening->ActiveConnections();
    for (int i = 0; i < count; ++i)
        listening->Connections(i)->Close();
    EXPECT_EQ(log.mid(3), (QStringList{"disconnect 0", "disconnect 1", "disconnect 2"}));
    EXPECT_EQ(listening->ActiveConnections(), 3) << "the list shrinks only on the deferred free";
    for (const char *name : {"a", "b", "c"})
        EXPECT_TRUE(peer.WaitEof(name));
    DrainEvents();
    EXPECT_EQ(listening->ActiveConnections(), 0);
}

TEST_F(ServerTest, CloseConnectionsSurvivesHandlersThatRunTheLoop)
{
    MessageRecorder boxes(true);
    for (const char *name : {"a", "b", "c"})
        ConnectPeer(name);
    auto record = server->OnClientDisconnect;
    server->OnClientDisconnect = [&](QObject *sender, TCustomWinSocket *s) {
        record(sender, s);
        ui::ShowMessage("closed"); // earlier closed connections get freed in here
    };
    server->Socket()->CloseConnections();
    EXPECT_EQ(log.mid(3), (QStringList{"disconnect 0", "disconnect 1", "disconnect 2"}));
    DrainEvents();
    EXPECT_EQ(server->Socket()->ActiveConnections(), 0);
}

TEST_F(ServerTest, StoppingFreesLiveConnectionsWithoutEventsAndCanListenAgain)
{
    // The port must stay unanswered once stopped, and is listened on again: no other test may
    // take it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    for (const char *name : {"a", "b", "c"})
        ConnectPeer(name);
    server->SetActive(false);
    EXPECT_FALSE(server->Active());
    EXPECT_EQ(server->Socket()->ActiveConnections(), 0);
    for (const auto &c : connections)
        EXPECT_EQ(c, nullptr);
    for (const char *name : {"a", "b", "c"})
        EXPECT_TRUE(peer.WaitEof(name));
    DrainEvents();
    EXPECT_EQ(log.size(), 3) << qPrintable(log.join(", "));
    EXPECT_EQ(peer.Connect("late", port), -1) << "nothing listens any more";

    // The same port again at once, although the stopped connections sit in TIME_WAIT.
    server->SetPort(port);
    server->SetActive(true);
    EXPECT_TRUE(server->Active());
    ConnectPeer("again");
}

TEST_F(ServerTest, ASecondServerOnATakenPortFailsWithBindAndWorksOnceFree)
{
    // The port taken over once the first server stops: no other test may take it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    TServerSocket second;
    int disconnects = 0;
    second.OnDisconnect = [&](QObject *, TCustomWinSocket *) { ++disconnects; };
    second.SetPort(port);
    try {
        second.SetActive(true);
        FAIL() << "no error";
    } catch (const ESocketError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Windows socket error: Address already in use (10048), on API 'bind'"));
    }
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(second.Socket()->SocketHandle(), ws::INVALID_SOCKET) << "closed again";

    ConnectPeer("first") ; // the first server is unharmed
    server->SetActive(false);
    second.SetActive(true);
    EXPECT_TRUE(second.Active());
    EXPECT_GT(peer.Connect("second", port), 0);
    EXPECT_EQ(disconnects, 1);
}

TEST_F(ServerTest, PropertiesAreFixedWhileActiveAndPortsUseTheirLow16Bits)
{
    const QString fixed = QStringLiteral("Can't change value while socket is active");
    for (const auto &change : std::initializer_list<std::function<void()>>{
             [&] { server->SetPort(1); }, [&] { server->SetHost("h"); }, [&] { server->SetAddress("a"); },
             [&] { server->SetService("s"); }}) {
        try {
            change();
            ADD_FAILURE() << "changed while active";
        } catch (const ESocketError &e) {
            EXPECT_EQ(e.Message(), fixed);
        }
    }

}

TEST(ServerPort, PortsBeyond16BitsListenOnTheirLow16Bits)
{
    // A fixed port: only in a network of the test's own.
    VELMORA_IN_PRIVATE_NETWORK();
    TServerSocket wide;
    wide.SetPort(4464 + 65536 * 3); // as 70000 is 4464
    wide.SetActive(true);
    EXPECT_EQ(wide.Socket()->LocalPort(), 4464);
    EXPECT_EQ(wide.Port(), 4464 + 65536 * 3);
}

TEST_F(ServerTest, SendReturnsTakenWouldBlockOrNotConnected)
{
    ConnectPeer("a");
    TCustomWinSocket *c = connections[0];
    EXPECT_EQ(c->SendBytes("ping"), 4);
    EXPECT_EQ(peer.Receive("a", 4), "ping");

    // The peer reads nothing: the buffers fill up and the send would block, taking nothing.
    const QByteArray chunk(1 << 20, 'z');
    int result = 0;
    for (int i = 0; i < 200 && result != -1; ++i)
        result = c->SendBytes(chunk);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(c->Connected());

    c->Close();
    EXPECT_EQ(c->SendBytes("late"), 0);
    EXPECT_EQ(c->ReceiveAll(), QByteArray());
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(ServerTest, AHandlerInANestedLoopIsNotReenteredForItsSocket)
{
    MessageRecorder boxes(true); // every box pumps the event loop while "open"
    int depth = 0;
    int deepest = 0;
    QByteArray all;
    server->OnClientRead = [&](QObject *, TCustomWinSocket *s) {
        ++depth;
        deepest = std::max(deepest, depth);
        all += s->ReceiveAll();
        ui::ShowMessage(QStringLiteral("read"));
        --depth;
    };
    ConnectPeer("a");
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(peer.Send("a", QByteArray(1, char('0' + i))));
    ASSERT_TRUE(WaitUntil([&] { return all == "01234"; }));
    EXPECT_EQ(deepest, 1);
}

TEST_F(ServerTest, HandlersMayCloseStopOrFreeTheServerUnderTheirOwnFeet)
{
    MessageRecorder boxes(true);
    struct Case {
        const char *name;
        std::function<void(TCustomWinSocket *)> act;
    };
    const Case cases[] = {
        {"close own connection", [](TCustomWinSocket *s) { s->Close(); }},
        {"stop the server", [this](TCustomWinSocket *) { server->SetActive(false); }},
        {"free the server", [this](TCustomWinSocket *) { server.reset(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!server) {
            server = std::make_unique<TServerSocket>();
            server->SetPort(0);
        }
        server->OnClientConnect = [&](QObject *, TCustomWinSocket *s) { connections << s; };
        server->OnClientDisconnect = nullptr;
        server->SetActive(true);
        port = server->Socket()->LocalPort();
        bool done = false;
        server->OnClientRead = [&](QObject *, TCustomWinSocket *s) {
            s->ReceiveAll();
            ui::ShowMessage(QStringLiteral("nested")); // a nested loop first
            c.act(s);
            ui::ShowMessage(QStringLiteral("again"));
            done = true;
        };
        const QString name = QString::fromLatin1(c.name).split(' ')[0];
        ConnectPeer(name);
        ASSERT_TRUE(peer.Send(name, "x"));
        ASSERT_TRUE(WaitUntil([&] { return done; }));
        EXPECT_TRUE(peer.WaitEof(name));
        DrainEvents();
        EXPECT_EQ(connections.last(), nullptr);
        EXPECT_TRUE(boxes.errors.isEmpty());
        if (server)
            server->SetActive(false);
    }
}

TEST_F(ServerTest, AConnectHandlerThatThrowsLeavesTheConnectionServed)
{
    auto record = server->OnClientConnect;
    server->OnClientConnect = [&](QObject *sender, TCustomWinSocket *s) {
        record(sender, s);
        throw Exception(QStringLiteral("handler failed"));
    };
    ConnectPeer("a");
    EXPECT_EQ(recorder.errors, QStringList{"handler failed"});
    ASSERT_TRUE(peer.Send("a", "still heard"));
    ASSERT_TRUE(WaitUntil([&] { return received[0] == "still heard"; }));
    ASSERT_TRUE(peer.Close("a"));
    ASSERT_TRUE(WaitUntil([&] { return log.contains("disconnect 0"); }));
}

TEST_F(ServerTest, AReadEventLeftUnreadComesBackOnlyAfterTheNextReceive)
{
    int events = 0;
    // Connection a's reads are left unread; b's are read, and mark how far the loop got.
    server->OnClientRead = [&](QObject *, TCustomWinSocket *s) {
        if (s == connections.value(0))
            ++events;
        else
            received[1] += s->ReceiveAll();
    };
    ConnectPeer("a");
    ConnectPeer("b");
    ASSERT_TRUE(peer.Send("a", "one"));
    ASSERT_TRUE(WaitUntil([&] { return events == 1; }));
    ASSERT_TRUE(peer.Send("a", "two"));
    // Sent after a's second piece: once the loop has handled it, a's data had long been there.
    ASSERT_TRUE(peer.Send("b", "marker"));
    ASSERT_TRUE(WaitUntil([&] { return received[1] == "marker"; }));
    EXPECT_EQ(events, 1) << "no storm of read events";

    server->OnClientRead = [&](QObject *, TCustomWinSocket *s) {
        ++events;
        received[0] += s->ReceiveAll();
    };
    QByteArray first = connections[0]->ReceiveAll();
    EXPECT_EQ(first, "onetwo");
    ASSERT_TRUE(peer.Send("a", "three"));
    ASSERT_TRUE(WaitUntil([&] { return received[0] == "three"; }));
    EXPECT_EQ(events, 2);
}

TEST_F(ServerTest, APeerThatClosesOrResetsIsNoticedWhileItsDataStaysUnread)
{
    struct Case {
        const char *end;
        QStringList tail;
    };
    const Case cases[] = {
        {"close", {"disconnect 0"}},
        {"reset", {"error 0 kind 2 code 10054", "disconnect 0"}},
    };
    silenceClientErrors = true;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.end);
        log.clear();
        connections.clear();
        int reads = 0;
        // A handler that never reads: the data waits, and the peer's end must be heard anyway.
        server->OnClientRead = [&](QObject *, TCustomWinSocket *) { ++reads; };
        ConnectPeer("a");
        ASSERT_TRUE(peer.Send("a", "left unread"));
        ASSERT_TRUE(WaitUntil([&] { return reads == 1; }));
        ASSERT_TRUE(peer.Command(QStringLiteral("%1 a").arg(QLatin1String(c.end))).startsWith(QLatin1String(c.end)));
        ASSERT_TRUE(WaitUntil([&] { return log.contains("disconnect 0"); })) << log.join('|').toStdString();
        EXPECT_EQ(log.mid(1), c.tail);
        EXPECT_EQ(reads, 1);
        ASSERT_TRUE(WaitUntil([&] { return server->Socket()->ActiveConnections() == 0; }));
    }
}

namespace {

// Processor time this process has used, user and system, in milliseconds.
double ProcessorMs()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Fills this process's descriptor table up to a low limit, and gives it back.
class FullDescriptorTable {
public:
    FullDescriptorTable()
    {
        ::getrlimit(RLIMIT_NOFILE, &FSaved);
        rlimit low = FSaved;
        low.rlim_cur = 256;
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            FFilled.push_back(fd);
    }
    ~FullDescriptorTable()
    {
        Free();
        ::setrlimit(RLIMIT_NOFILE, &FSaved);
    }
    void Free()
    {
        for (int fd : FFilled)
            ::close(fd);
        FFilled.clear();
    }

private:
    rlimit FSaved{};
    std::vector<int> FFilled;
};

} // namespace

TEST_F(ServerTest, WhileTheDescriptorTableIsFullTheListenerWaitsQuietlyAndAcceptsOnceThereIsRoom)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime opens a pipe to check memory before it reports a type: with no
    // descriptor left it reports every virtual call as one on a broken object.
    GTEST_SKIP() << "needs descriptors the sanitizer runtime takes for itself";
#endif
    FullDescriptorTable full;
    // The peer is a process of its own: its connect completes in the listener's queue.
    peer.Post(QStringLiteral("connect a %1").arg(port));
    ASSERT_TRUE(peer.Answer().startsWith(QLatin1String("connected")));
    const double before = ProcessorMs();
    QElapsedTimer wall;
    wall.start();
    // Half a second of the event loop with the connection waiting and no descriptor for it.
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    const double busy = (ProcessorMs() - before) / double(wall.elapsed());
    EXPECT_LT(busy, 0.25) << "share of a processor while accepts fail";
    EXPECT_TRUE(connections.isEmpty());
    EXPECT_TRUE(recorder.all.isEmpty());

    full.Free();
    ASSERT_TRUE(WaitUntil([&] { return connections.size() == 1; }));
    ASSERT_TRUE(peer.Send("a", "late"));
    ASSERT_TRUE(WaitUntil([&] { return received[0] == "late"; }));
}
