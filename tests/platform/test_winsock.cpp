// The socket layer's error numbers and texts: errno mapped to the Windows numbers the program
// shows, and the system's text for each.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

// Qt
#include <QEventLoop>
#include <QTimer>

#include "HostLookup.h"
#include "WinSock.h"

namespace {

struct Mapping {
    int err;
    int wsa;
};

class ErrnoMapping : public ::testing::TestWithParam<Mapping> {};

} // namespace

TEST_P(ErrnoMapping, MapsToTheWindowsNumber)
{
    EXPECT_EQ(ws::MapErrno(GetParam().err), GetParam().wsa);
}

INSTANTIATE_TEST_SUITE_P(SocketErrors, ErrnoMapping,
                         ::testing::Values(Mapping{EWOULDBLOCK, 10035}, Mapping{EINPROGRESS, 10035},
                                           Mapping{EADDRINUSE, 10048}, Mapping{EADDRNOTAVAIL, 10049},
                                           Mapping{ECONNABORTED, 10053}, Mapping{ECONNRESET, 10054},
                                           Mapping{ENOTCONN, 10057}, Mapping{ETIMEDOUT, 10060},
                                           Mapping{ECONNREFUSED, 10061}, Mapping{EHOSTUNREACH, 10065},
                                           Mapping{EMSGSIZE, 10040}, Mapping{EACCES, 10013},
                                           Mapping{EBADF, 10038}, Mapping{ENAMETOOLONG, 10063},
                                           Mapping{EPROTO, 10053}));

TEST(SysErrorMessage, IsTheSystemTextOfTheFirstErrnoOfANumber)
{
    EXPECT_EQ(ws::SysErrorMessage(ws::WSAECONNRESET), QString::fromLocal8Bit(std::strerror(ECONNRESET)));
    EXPECT_EQ(ws::SysErrorMessage(ws::WSAEADDRINUSE), QString::fromLocal8Bit(std::strerror(EADDRINUSE)));
    // Would-block is shown as EWOULDBLOCK's text, not as "operation now in progress".
    EXPECT_EQ(ws::SysErrorMessage(ws::WSAEWOULDBLOCK), QString::fromLocal8Bit(std::strerror(EWOULDBLOCK)));
    EXPECT_EQ(ws::SysErrorMessage(ws::WSAHOST_NOT_FOUND), QStringLiteral("Host not found"));
    EXPECT_FALSE(ws::SysErrorMessage(123456).isEmpty());
}

namespace {

// The answer of one lookup, waited for in an event loop (at most ten seconds).
int LookupAnswer(const QString &name, uint32_t *address)
{
    int error = -1;
    QEventLoop loop;
    ws::WSAAsyncGetHostByName(name, [&](int e, uint32_t a) {
        error = e;
        *address = a;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return error;
}

} // namespace

TEST(HostLookup, NamesUnderInvalidAreNotFoundOnThisMachineAndOthersAskTheResolver)
{
    uint32_t address = 1;
    for (const char *name : {"no-such-host.invalid", "A.B.INVALID.", "invalid"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(LookupAnswer(QString::fromLatin1(name), &address), ws::WSAHOST_NOT_FOUND);
    }
    // Not a name under "invalid": the resolver answers (from the hosts file).
    EXPECT_EQ(LookupAnswer(QStringLiteral("localhost"), &address), 0);
    EXPECT_EQ(ws::inet_ntoa(address), QStringLiteral("127.0.0.1"));
}

TEST(SocketLayer, ListenerRefusesASecondBindEvenWithReuseAddress)
{
    const ws::TSocket first = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    const ws::TSocket second = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ASSERT_NE(first, ws::INVALID_SOCKET);
    ASSERT_EQ(ws::setReuseAddress(first), 0);
    ASSERT_EQ(ws::setReuseAddress(second), 0);
    ws::TSockAddrIn addr;
    addr.sin_family = ws::AF_INET_;
    addr.sin_addr = ws::inet_addr("127.0.0.1");
    ASSERT_EQ(ws::bind(first, addr), 0);
    ASSERT_EQ(ws::listen(first, 5), 0);
    ws::TSockAddrIn bound;
    ASSERT_EQ(ws::getsockname(first, &bound), 0);
    EXPECT_EQ(ws::bind(second, bound), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEADDRINUSE);
    ws::closesocket(first);
    ws::closesocket(second);
}

// Several datagrams in one call, each whole in its own room with its sender; one too long for its
// room is reported in its slot; none waiting is would-block.
TEST(SocketLayer, BatchReadTakesWhatWaitsInOrder)
{
    const ws::TSocket receiver = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    const ws::TSocket sender = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    ws::TSockAddrIn addr;
    addr.sin_family = ws::AF_INET_;
    addr.sin_addr = ws::inet_addr("127.0.0.1");
    ASSERT_EQ(ws::bind(receiver, addr), 0);
    ASSERT_EQ(ws::bind(sender, addr), 0);
    ws::TSockAddrIn to;
    ws::TSockAddrIn from;
    ASSERT_EQ(ws::getsockname(receiver, &to), 0);
    ASSERT_EQ(ws::getsockname(sender, &from), 0);
    const int sizes[] = {0, 5, 1500, 40};
    for (int size : sizes)
        ASSERT_EQ(ws::sendto(sender, QByteArray(size, char('a' + size % 26)).constData(), size, to), size);

    char rooms[5][2048];
    ws::TDatagramSlot taken[5];
    for (int i = 0; i < 5; ++i) {
        taken[i].buf = rooms[i];
        taken[i].len = i == 3 ? 16 : int(sizeof rooms[i]);
    }
    // Loopback has queued every datagram by the time its send returns.
    ASSERT_EQ(ws::recvfromBatch(receiver, taken, 5), 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(taken[i].count, sizes[i]) << i;
        EXPECT_EQ(QByteArray(rooms[i], sizes[i]), QByteArray(sizes[i], char('a' + sizes[i] % 26))) << i;
        EXPECT_EQ(taken[i].from.sin_port, from.sin_port);
        EXPECT_EQ(taken[i].from.sin_addr, from.sin_addr);
    }
    EXPECT_EQ(taken[3].count, ws::SOCKET_ERROR);
    EXPECT_EQ(taken[3].error, ws::WSAEMSGSIZE);
    EXPECT_EQ(ws::recvfromBatch(receiver, taken, 5), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
    ws::closesocket(receiver);
    ws::closesocket(sender);
}
