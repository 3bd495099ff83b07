// The TCP client component against real peers on 127.0.0.1: connecting, reading, sending, the
// peer's close, refused connects and missing addresses.

#include <gtest/gtest.h>

#include <memory>

#include "ESocketError.h"
#include "TClientSocket.h"
#include "TClientWinSocket.h"
#include "HeldPort.h"
#include "TestPeer.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        client = std::make_unique<TClientSocket>();
        client->OnConnect = [this](QObject *sender, TCustomWinSocket *s) {
            EXPECT_EQ(sender, client.get());
            EXPECT_EQ(s, client->Socket());
            log << QStringLiteral("connect active=%1").arg(client->Active());
        };
        client->OnDisconnect = [this](QObject *, TCustomWinSocket *) {
            log << QStringLiteral("disconnect active=%1").arg(client->Active());
        };
        client->OnRead = [this](QObject *, TCustomWinSocket *s) { received += s->ReceiveAll(); };
        client->OnError = [this](QObject *, TCustomWinSocket *, TErrorEvent kind, int &code) {
            log << QStringLiteral("error kind %1 code %2").arg(kind).arg(code);
            if (silence)
                code = 0;
        };
    }

    void TearDown() override
    {
        client.reset();
        DrainEvents();
    }

    // A listening peer; returns its port.
    int Listen()
    {
        const QStringList answer = peer.Command("listen").split(' ');
        return answer.size() == 2 ? answer[1].toInt() : -1;
    }

    MessageRecorder recorder;
    TestPeer peer;
    std::unique_ptr<TClientSocket> client;
    QStringList log;
    QByteArray received;
    bool silence = true;
};

} // namespace

TEST_F(ClientTest, ConnectsTalksAndSeesThePeerClose)
{
    const int port = Listen();
    ASSERT_GT(port, 0);
    client->SetHost("127.0.0.1");
    client->SetPort(port);
    client->SetActive(true);
    EXPECT_FALSE(client->Active()) << "active only once connected";
    EXPECT_EQ(client->Socket()->LocalPort(), -1) << "not bound while the host is looked up";
    peer.Post("accept p");
    ASSERT_TRUE(WaitUntil([&] { return !log.isEmpty(); }));
    const QStringList accepted = peer.Answer().split(' ');
    ASSERT_EQ(accepted.value(0), "accepted");

    EXPECT_EQ(log, QStringList{"connect active=1"});
    TClientWinSocket *c = client->Socket();
    EXPECT_TRUE(c->Connected());
    EXPECT_EQ(c->LocalPort(), accepted.value(2).toInt());
    EXPECT_EQ(c->RemoteAddress(), "127.0.0.1");
    EXPECT_EQ(c->RemotePort(), port);

    EXPECT_EQ(c->SendBytes(QByteArray("\x01\x00\x02", 3)), 3);
    EXPECT_EQ(peer.Receive("p", 3), QByteArray("\x01\x00\x02", 3));
    ASSERT_TRUE(peer.Send("p", "answer"));
    ASSERT_TRUE(WaitUntil([&] { return received == "answer"; }));

    ASSERT_TRUE(peer.Close("p"));
    ASSERT_TRUE(WaitUntil([&] { return log.size() == 2; }));
    DrainEvents();
    EXPECT_EQ(log, (QStringList{"connect active=1", "disconnect active=0"}));
    EXPECT_FALSE(client->Active());
    EXPECT_EQ(c->SendBytes("x"), 0);
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(ClientTest, DeactivatingClosesOnceAndTheClientCanConnectAgain)
{
    const int port = Listen();
    client->SetAddress("127.0.0.1"); // no host: the dotted address is used directly
    client->SetPort(port + 65536);   // low 16 bits
    for (const char *name : {"one", "two"}) {
        SCOPED_TRACE(name);
        log.clear();
        client->SetActive(true);
        peer.Post(QStringLiteral("accept %1").arg(name));
        ASSERT_TRUE(WaitUntil([&] { return client->Active(); }));
        ASSERT_TRUE(peer.Answer().startsWith("accepted"));
        EXPECT_THROW(client->SetPort(1), ESocketError);
        client->SetActive(false);
        client->SetActive(false);
        client->Socket()->Close();
        EXPECT_EQ(log, (QStringList{"connect active=1", "disconnect active=0"}));
        EXPECT_TRUE(peer.WaitEof(name));
    }
}

TEST_F(ClientTest, ARefusedConnectIsAnErrorNotificationOnly)
{
    struct Case {
        bool silence;
        QStringList boxes;
    };
    for (const Case &c : {Case{true, {}}, Case{false, {"Asynchronous socket error 10061"}}}) {
        SCOPED_TRACE(c.silence ? "silenced" : "raised");
        log.clear();
        recorder.clear();
        silence = c.silence;
        client->SetHost("127.0.0.1");
        // Bound by the test but not listening: the connect is refused, and nobody else takes it.
        HeldPort closed("127.0.0.1", ws::SOCK_STREAM_);
        ASSERT_GT(closed.port, 0);
        client->SetPort(closed.port);
        client->SetActive(true);
        ASSERT_TRUE(WaitUntil([&] { return !log.isEmpty(); }));
        DrainEvents();
        EXPECT_EQ(log, QStringList{"error kind 3 code 10061"});
        EXPECT_EQ(recorder.errors, c.boxes);
        EXPECT_FALSE(client->Active());
        EXPECT_FALSE(client->Socket()->Connected());
        client->SetActive(false); // not active: nothing happens
        EXPECT_EQ(log.size(), 1);
    }

    // The next attempt starts afresh on a new handle.
    const int port = Listen();
    client->SetPort(port);
    client->SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return client->Active(); }));
}

TEST_F(ClientTest, NoAddressIsALookupErrorWithItsDisconnect)
{
    struct Case {
        bool silence;
        QStringList boxes;
    };
    for (const Case &c : {Case{true, {}}, Case{false, {"No address specified"}}}) {
        SCOPED_TRACE(c.silence ? "silenced" : "raised");
        log.clear();
        silence = c.silence;
        try {
            client->SetActive(true);
            EXPECT_TRUE(c.boxes.isEmpty());
        } catch (const ESocketError &e) {
            EXPECT_EQ(QStringList{e.Message()}, c.boxes);
        }
        EXPECT_EQ(log, (QStringList{"error kind 6 code 1110", "disconnect active=0"}));
        EXPECT_EQ(client->Socket()->SocketHandle(), ws::INVALID_SOCKET);
    }
}

TEST_F(ClientTest, AskingAgainWhileLookingUpStartsOverWithOneConnection)
{
    const int port = Listen();
    client->SetHost("127.0.0.1");
    client->SetPort(port);
    client->SetActive(true);
    const ws::TSocket first = client->Socket()->SocketHandle();
    client->SetActive(true); // the first attempt is dropped, its handle closed
    ASSERT_NE(client->Socket()->SocketHandle(), first);
    ws::TSockAddrIn unused;
    EXPECT_EQ(ws::getsockname(first, &unused), ws::SOCKET_ERROR) << "not leaked";
    peer.Post("accept p");
    ASSERT_TRUE(WaitUntil([&] { return client->Active(); }));
    ASSERT_TRUE(peer.Answer().startsWith("accepted"));
    DrainEvents();
    EXPECT_EQ(log, QStringList{"connect active=1"});
}

TEST_F(ClientTest, AlreadyOpenWhileConnected)
{
    const int port = Listen();
    client->SetAddress("127.0.0.1");
    client->SetPort(port);
    client->SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return client->Active(); }));
    try {
        client->Socket()->Connect({}, "127.0.0.1", port);
        FAIL() << "no error";
    } catch (const ESocketError &e) {
        EXPECT_EQ(e.Message(), "Socket already open");
    }
    EXPECT_TRUE(client->Active());
}

TEST_F(ClientTest, AReadHandlerMayFreeTheClient)
{
    MessageRecorder boxes(true);
    const int port = Listen();
    client->SetAddress("127.0.0.1");
    client->SetPort(port);
    bool done = false;
    client->OnRead = [&](QObject *, TCustomWinSocket *s) {
        s->ReceiveAll();
        ui::ShowMessage("nested");
        client.reset();
        done = true;
    };
    client->SetActive(true);
    peer.Post("accept p");
    ASSERT_TRUE(peer.Answer().startsWith("accepted"));
    ASSERT_TRUE(peer.Send("p", "x"));
    ASSERT_TRUE(WaitUntil([&] { return done; }));
    EXPECT_TRUE(peer.WaitEof("p"));
    DrainEvents();
}
