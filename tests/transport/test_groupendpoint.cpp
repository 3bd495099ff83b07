// The multicast group endpoint, in a private network namespace: what a member receives, how
// opening fails, how a send fails, and how readiness reaches the member's window.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

// Qt
#include <QCoreApplication>
#include <QList>

#include "GroupEndpoint.h"
#include "PrivateNetwork.h"
#include "TestSupport.h"

using testing_support::DrainEvents;
using testing_support::MessageRecorder;
using testing_support::WaitUntil;

namespace {

const QString Group = QStringLiteral("239.1.2.3");

// Stands in for the data window: every group socket message goes to GroupReceive.
class MemberWindow : public QObject {
public:
    explicit MemberWindow(TGroupEndpoint &group) : FGroup(group) {}

    QList<QByteArray> received;
    int messages = 0;
    std::function<void()> onMessage;

    int count(const QByteArray &bytes) const { return static_cast<int>(received.count(bytes)); }

    bool event(QEvent *e) override
    {
        if (e->type() != TGroupSocketMessage::MessageType())
            return QObject::event(e);
        ++messages;
        received.append(GroupReceive(FGroup, static_cast<const TGroupSocketMessage &>(*e)));
        if (onMessage)
            onMessage();
        return true;
    }

private:
    TGroupEndpoint &FGroup;
};

// A plain socket in the group, sending from a port of its own.
class Peer {
public:
    Peer()
    {
        FSocket = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
        ws::TIpMreq m;
        m.imr_multiaddr = ws::inet_addr(Group.toLatin1());
        ws::joinGroup(FSocket, m);
    }
    ~Peer() { ws::closesocket(FSocket); }

    int send(const QByteArray &bytes, int32_t port)
    {
        ws::TSockAddrIn to;
        to.sin_family = ws::AF_INET_;
        to.sin_port = ws::HostToNet16(static_cast<uint16_t>(port));
        to.sin_addr = ws::inet_addr(Group.toLatin1());
        return ws::sendto(FSocket, bytes.constData(), static_cast<int>(bytes.size()), to);
    }

private:
    ws::TSocket FSocket;
};

// Every byte value occurs, zero included; the seed tells datagrams of one size apart.
QByteArray Payload(int size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>(seed + i * 7);
    return b;
}

// Every case runs in a network namespace of its own, so no datagram can reach a real interface.
#define IN_PRIVATE_GROUP_NETWORK()                                                                \
    VELMORA_IN_PRIVATE_NETWORK();                                                                 \
    ASSERT_TRUE(testing_support::RouteMulticastToLoopback())

class GroupEndpointTest : public ::testing::Test {
protected:
    MessageRecorder recorder;
};

} // namespace

TEST_F(GroupEndpointTest, MemberReceivesOwnAndPeerDatagramsEachOnceAndWhole)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45001;
    TGroupEndpoint member;
    MemberWindow window(member);
    GroupOpen(member, &window, Group, port);
    ASSERT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
    EXPECT_EQ(member.GroupPort, port);
    EXPECT_EQ(member.GroupAddress, Group);
    EXPECT_EQ(member.GroupBindAddr.sin_port, ws::HostToNet16(port));
    EXPECT_EQ(member.GroupBindAddr.sin_addr, 0u);
    EXPECT_EQ(member.GroupMembership.imr_interface, 0u);

    Peer peer;
    std::vector<QByteArray> expected;
    for (int size : {1, 4097, 65507}) {
        const QByteArray own = Payload(size, 'm');
        const QByteArray theirs = Payload(size, 'p');
        GroupSend(member, own);
        ASSERT_EQ(peer.send(theirs, port), size);
        expected.push_back(own);
        expected.push_back(theirs);
    }
    const QByteArray empty;
    ASSERT_EQ(peer.send(empty, port), 0);

    ASSERT_TRUE(WaitUntil([&] {
        for (const QByteArray &e : expected)
            if (window.count(e) == 0)
                return false;
        return true;
    }));
    // A last datagram behind the others: a duplicate of any of them would be in by now. Sent
    // after the peer's datagrams were read, it still goes to the group port.
    GroupSend(member, "end");
    ASSERT_TRUE(WaitUntil([&] { return window.count("end") == 1; }));
    DrainEvents();

    for (const QByteArray &e : expected)
        EXPECT_EQ(window.count(e), 1) << "a datagram of " << e.size() << " bytes";
    EXPECT_EQ(window.count(empty), 1) << "the empty datagram is a datagram of its own";
    EXPECT_EQ(window.received.size(), 8);
    EXPECT_EQ(window.messages, 8) << "one message for every datagram, none without one";
    EXPECT_EQ(member.GroupDestAddr.sin_port, ws::HostToNet16(port));
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(GroupEndpointTest, SecondMemberOnTheSamePortCannotBind)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45002;
    TGroupEndpoint first;
    MemberWindow firstWindow(first);
    GroupOpen(first, &firstWindow, Group, port);
    ASSERT_TRUE(recorder.all.isEmpty());

    TGroupEndpoint second;
    MemberWindow secondWindow(second);
    GroupOpen(second, &secondWindow, Group, port);
    EXPECT_EQ(recorder.all, QStringList{QStringLiteral("bind fail")});
    EXPECT_NE(second.GroupSocket, ws::INVALID_SOCKET) << "the member stays, unbound";

    // The unbound member still sends; only the first one receives.
    GroupSend(second, "from second");
    ASSERT_TRUE(WaitUntil([&] { return firstWindow.count("from second") == 1; }));
    DrainEvents();
    EXPECT_EQ(secondWindow.messages, 0);
}

TEST_F(GroupEndpointTest, AddressThatIsNoGroupCannotBeJoined)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45003;
    for (const QString &address : {QStringLiteral("10.0.0.1"), QStringLiteral("127.0.0.1"),
                                   QStringLiteral("255.255.255.255"), QStringLiteral("no address")}) {
        SCOPED_TRACE(address.toStdString());
        recorder.clear();
        TGroupEndpoint member;
        GroupOpen(member, nullptr, address, port);
        EXPECT_EQ(recorder.all, QStringList{QStringLiteral("无法进行UDP组播")});
        EXPECT_EQ(member.GroupAddress, address);
        GroupClose(member);
    }
}

TEST_F(GroupEndpointTest, SocketThatCannotBeMadeReportsEveryLaterStep)
{
    IN_PRIVATE_GROUP_NETWORK();
    TGroupEndpoint member;
    {
        // Use up every descriptor below a lowered limit, then open.
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit low = saved;
        low.rlim_cur = 256;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        std::vector<int> held{open("/dev/null", O_RDONLY)};
        ASSERT_GE(held[0], 0);
        for (int fd; (fd = dup(held[0])) >= 0;)
            held.push_back(fd);
        GroupOpen(member, nullptr, Group, 45004);
        for (int fd : held)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved);
    }
    EXPECT_EQ(member.GroupSocket, ws::INVALID_SOCKET);
    EXPECT_EQ(recorder.all, (QStringList{QStringLiteral("10024  Socket创建失败"), QStringLiteral("bind fail"),
                                        QStringLiteral("无法进行UDP组播")}));
    EXPECT_TRUE(member.GroupNotifier.isNull());
}

TEST_F(GroupEndpointTest, FailedSendShowsItsMessagesInOrderEveryTime)
{
    IN_PRIVATE_GROUP_NETWORK();
    struct Case {
        const char *name;
        QString address;
        bool closeFirst;
        int size;
        QString number;
    };
    const Case cases[] = {
        {"socket closed", Group, true, 3, QStringLiteral("10038")},
        {"no route to the destination", QStringLiteral("10.1.2.3"), false, 3, QStringLiteral("10051")},
        {"longer than a datagram", Group, false, 65508, QStringLiteral("10040")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TGroupEndpoint member;
        GroupOpen(member, nullptr, c.address, 45005);
        if (c.closeFirst)
            GroupClose(member);
        recorder.clear();
        const QByteArray bytes(c.size, 'x');
        for (int repetition = 0; repetition < 3; ++repetition)
            GroupSend(member, bytes);
        QStringList expected;
        for (int repetition = 0; repetition < 3; ++repetition)
            expected << c.number << QStringLiteral("send fail") << QStringLiteral("Not Send all");
        EXPECT_EQ(recorder.all, expected);
    }

    // The longest datagram there is goes without a word.
    TGroupEndpoint member;
    GroupOpen(member, nullptr, Group, 45005);
    recorder.clear();
    GroupSend(member, QByteArray(65507, 'x'));
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(GroupEndpointTest, CloseStopsMessagesAndFreesThePort)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45007;
    auto member = std::make_unique<TGroupEndpoint>();
    MemberWindow window(*member);
    GroupOpen(*member, &window, Group, port);
    // Closed while handling the first of several waiting datagrams: no message after it.
    window.onMessage = [&] { GroupClose(*member); };
    Peer peer;
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(peer.send(QByteArray::number(i), port), 1);
    ASSERT_TRUE(WaitUntil([&] { return window.messages == 1; }));
    DrainEvents();
    EXPECT_EQ(window.messages, 1);
    EXPECT_EQ(window.received, QList<QByteArray>{"0"});
    EXPECT_EQ(member->GroupSocket, ws::INVALID_SOCKET);
    member.reset();

    TGroupEndpoint again;
    GroupOpen(again, nullptr, Group, port);
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(GroupEndpointTest, BurstIsReadInBoundedStepsWithOtherEventsBetween)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45008;
    const int burst = 1000;
    TGroupEndpoint member;
    MemberWindow window(member);
    GroupOpen(member, &window, Group, port);
    Peer peer;
    for (int i = 0; i < burst; ++i)
        ASSERT_EQ(peer.send(QByteArray::number(i), port), QByteArray::number(i).size());

    // A posted event that reposts itself notes how far the reading got each time it runs.
    struct Ticker : QObject {
        MemberWindow *window = nullptr;
        QList<int> seen;
        bool event(QEvent *e) override
        {
            if (e->type() != QEvent::User)
                return QObject::event(e);
            seen.append(static_cast<int>(window->received.size()));
            if (window->received.size() < burst)
                QCoreApplication::postEvent(this, new QEvent(QEvent::User));
            return true;
        }
    } ticker;
    ticker.window = &window;
    QCoreApplication::postEvent(&ticker, new QEvent(QEvent::User));

    ASSERT_TRUE(WaitUntil([&] { return window.received.size() == burst; }, 10000));
    bool between = false;
    for (int n : ticker.seen)
        between = between || (n > 0 && n < burst);
    EXPECT_TRUE(between) << "other events ran only before or after the whole burst";
    for (int i = 0; i < burst; ++i)
        ASSERT_EQ(window.count(QByteArray::number(i)), 1) << i;
}
