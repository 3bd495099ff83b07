// A burst of clients connecting all at once to a TCP server instance, as devices do when their
// server comes back: the system drops none of their SYNs, every one gets its node, window and
// instance, and the main window goes on answering while they are taken in.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// Qt
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "TMySocket.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

// SYNs the system dropped because a listener's accept queue was full (TcpExt ListenOverflows).
long long ListenOverflows()
{
    std::ifstream in("/proc/net/netstat");
    std::string names, values;
    while (std::getline(in, names) && std::getline(in, values)) {
        if (names.rfind("TcpExt:", 0) != 0)
            continue;
        std::istringstream n(names), v(values);
        for (std::string name, value; n >> name && v >> value;)
            if (name == "ListenOverflows")
                return std::stoll(value);
    }
    return -1;
}

// Non-blocking clients connecting to 127.0.0.1, all at once.
class ClientBurst {
public:
    ClientBurst(int port, int count)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < count; ++i) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (s < 0)
                break;
            FSockets.push_back(s);
            ::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a);
        }
    }
    ~ClientBurst()
    {
        for (int s : FSockets)
            ::close(s);
    }
    int Count() const { return static_cast<int>(FSockets.size()); }
    // Established without error.
    bool Established(int i) const
    {
        pollfd p{FSockets[static_cast<size_t>(i)], POLLOUT, 0};
        int error = -1;
        socklen_t length = sizeof error;
        return ::poll(&p, 1, 0) == 1 && ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    // The server closed or refused it (an end of stream or an error to read).
    bool Ended(int i) const
    {
        char byte;
        const ssize_t r = ::recv(FSockets[static_cast<size_t>(i)], &byte, 1, MSG_PEEK);
        return r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    int LocalPort(int i) const
    {
        sockaddr_in a{};
        socklen_t length = sizeof a;
        ::getsockname(FSockets[static_cast<size_t>(i)], reinterpret_cast<sockaddr *>(&a), &length);
        return ntohs(a.sin_port);
    }

private:
    std::vector<int> FSockets;
};

class ConnectionBurst : public MainWindowTest {};

} // namespace

TEST_F(ConnectionBurst, EveryClientIsTakenInWithItsNodeAndWindowAndTheWindowKeepsAnswering)
{
    TMySocket *server = CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QStringLiteral("0")}});
    ASSERT_NE(server, nullptr);
    const int port = BoundPort(server);
    ASSERT_GT(port, 0);
    constexpr int Count = 600; // far beyond the queue of 5 the old design listened with
    auto accepted = [&] { return form->SocketList.Count() - 1; };

    const long long overflows = ListenOverflows();
    ASSERT_GE(overflows, 0);
    ClientBurst clients(port, Count);
    ASSERT_EQ(clients.Count(), Count);

    // While they are taken in, a zero timer posted now runs within a second, every time.
    QElapsedTimer burst;
    burst.start();
    int rounds = 0;
    while (accepted() < Count && burst.elapsed() < 30000) {
        bool ran = false;
        QTimer::singleShot(0, [&ran] { ran = true; });
        ASSERT_TRUE(WaitUntil([&] { return ran; }, 1000)) << "the event loop did not run for a second, with "
                                                          << accepted() << " connections taken in";
        ++rounds;
    }
    ASSERT_EQ(accepted(), Count);
    EXPECT_GT(rounds, 0);

    // Nothing dropped: every client established, no SYN thrown away for a full queue.
    for (int i = 0; i < Count; ++i)
        EXPECT_TRUE(clients.Established(i)) << i;
    EXPECT_EQ(ListenOverflows() - overflows, 0);

    // Each connection has its instance, node and window, one of each.
    ASSERT_TRUE(WaitUntil([&] { return server->Node->childCount() == Count; })) << server->Node->childCount();
    EXPECT_EQ(form->DataWindows->Count(), Count + 1);
    std::set<int> clientPorts, instancePorts;
    std::set<const void *> windows;
    for (int i = 0; i < Count; ++i) {
        clientPorts.insert(clients.LocalPort(i));
        TMySocket *c = form->SocketList.Items(i + 1);
        ASSERT_EQ(c->Kind, kind::TcpServerClient);
        ASSERT_NE(c->Node, nullptr);
        EXPECT_EQ(c->Node->parent(), server->Node);
        ASSERT_NE(c->DataWindow, nullptr);
        windows.insert(c->DataWindow);
        instancePorts.insert(c->RemotePort);
    }
    EXPECT_EQ(windows.size(), size_t(Count));
    EXPECT_EQ(instancePorts, clientPorts);
    // The last one taken in is in front, its node selected.
    EXPECT_EQ(form->DataWindows->Front(), form->SocketList.Items(Count)->DataWindow);
    EXPECT_TRUE(WaitUntil([&] { return form->TreeView1->currentItem() == form->SocketList.Items(Count)->Node; }));
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(ConnectionBurst, StoppingTheServerMidBurstLeavesNothingBehind)
{
    TMySocket *server = CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QStringLiteral("0")}});
    ASSERT_NE(server, nullptr);
    const int port = BoundPort(server);
    auto accepted = [&] { return form->SocketList.Count() - 1; };
    ClientBurst clients(port, 400);
    // Stopped while some are taken in and others still wait, in the system's queue or taken
    // from it without their objects yet.
    ASSERT_TRUE(WaitUntil([&] { return accepted() > 0; }));
    form->StopInstance(server);
    ASSERT_TRUE(WaitUntil([&] { return accepted() == 0 && server->Node->childCount() == 0; }));
    DrainEvents();
    EXPECT_EQ(form->DataWindows->Count(), 1);
    // Every client hears that its connection went: none is held open by a forgotten handle.
    EXPECT_TRUE(WaitUntil([&] {
        for (int i = 0; i < clients.Count(); ++i)
            if (!clients.Ended(i))
                return false;
        return true;
    }));
    EXPECT_TRUE(recorder.all.isEmpty());
}
