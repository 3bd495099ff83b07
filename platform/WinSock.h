#pragma once
// The socket layer in place of Windows Sockets 1.1: the calls the components use, on POSIX
// sockets. Results follow the Windows conventions (SOCKET_ERROR, INVALID_SOCKET) and the last
// error is kept as a Windows error number, so the components above never see errno.

#include <cstdint>

// Qt
#include <QString>

namespace ws {

using TSocket = int;
constexpr TSocket INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Windows error numbers the program shows and tests against.
enum : int {
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// Address family, socket types and levels in the Windows numbering (equal to Linux's for IPv4).
constexpr int AF_INET_ = 2;
constexpr int SOCK_STREAM_ = 1;
constexpr int SOCK_DGRAM_ = 2;

// IPv4 socket address, 16 bytes: family, port (network order), address (network order), 8 zero bytes.
struct TSockAddrIn {
    uint16_t sin_family = 0;
    uint16_t sin_port = 0;
    uint32_t sin_addr = 0;
    unsigned char sin_zero[8] = {};
};
static_assert(sizeof(TSockAddrIn) == 16, "IPv4 socket address must be 16 bytes");

// Multicast membership request, 8 bytes: group address, interface address (network order).
struct TIpMreq {
    uint32_t imr_multiaddr = 0;
    uint32_t imr_interface = 0;
};
static_assert(sizeof(TIpMreq) == 8, "membership request must be 8 bytes");

// Start-up and clean-up: nothing to start here; start-up reports success (0).
int WSAStartup();
int WSACleanup();

int WSAGetLastError();
void WSASetLastError(int code);

// The system's text for a Windows error number kept by this layer (fills the "%s" of messages).
QString SysErrorMessage(int code);
// Why a connect or a host lookup failed, as the user reads it: the system's text of the number in
// simplified Chinese where the program has one, else SysErrorMessage, with the number after it.
QString ReasonText(int code);
// errno -> Windows error number, one table for the whole program.
int MapErrno(int err);

// Sockets are created close-on-exec and blocking, as on the original platform; AsyncSelect
// (TAsyncSelect) switches them to non-blocking.
TSocket socket(int af, int type, int protocol);
int closesocket(TSocket s);
int setNonBlocking(TSocket s, bool on);

int bind(TSocket s, const TSockAddrIn &addr);
int listen(TSocket s, int backlog);
TSocket accept(TSocket s, TSockAddrIn *from);
// Non-blocking connect: "in progress" is reported as SOCKET_ERROR with WSAEWOULDBLOCK.
int connect(TSocket s, const TSockAddrIn &addr);
// Pending error of a socket (SO_ERROR) as a Windows number, 0 for none.
int pendingError(TSocket s);

// Never raises SIGPIPE; EINTR is retried.
int send(TSocket s, const char *buf, int len);
int recv(TSocket s, char *buf, int len);
int sendto(TSocket s, const char *buf, int len, const TSockAddrIn &to);
// A datagram longer than len is cut and reported as SOCKET_ERROR with WSAEMSGSIZE, as on Windows.
int recvfrom(TSocket s, char *buf, int len, TSockAddrIn *from);
// One datagram of a batch read: its room, and what came into it.
struct TDatagramSlot {
    char *buf = nullptr;
    int len = 0;
    // The datagram's length; SOCKET_ERROR with error WSAEMSGSIZE when it was longer than len.
    int count = 0;
    int error = 0;
    TSockAddrIn from;
};
// The most datagrams one batch read takes.
constexpr int MaxBatch = 64;
// Reads up to n datagrams that wait (at most MaxBatch) in one system call, each whole into its
// slot, without waiting for more; returns how many were read, or SOCKET_ERROR (WSAEWOULDBLOCK
// when none waits). One call per datagram cost more than the datagram's own work in a flood.
int recvfromBatch(TSocket s, TDatagramSlot *rooms, int n);
// Length of the next datagram waiting, or -1 with the last error set (WSAEWOULDBLOCK when none).
int nextDatagramSize(TSocket s);

// FIONREAD: bytes waiting to be read.
int bytesAvailable(TSocket s, int *count);

int getsockname(TSocket s, TSockAddrIn *addr);
int getpeername(TSocket s, TSockAddrIn *addr);

// IP_ADD_MEMBERSHIP with the 8-byte membership record.
int joinGroup(TSocket s, const TIpMreq &mreq);
// Asks for a receive buffer of the given size; returns the size the system granted, or -1.
int setReceiveBuffer(TSocket s, int bytes);
// SO_LINGER off (the original SO_DONTLINGER with a non-zero value).
int setDontLinger(TSocket s);
// SO_BROADCAST: Linux refuses a datagram to a broadcast address without it (WSAEACCES).
int setBroadcast(TSocket s, bool on);
// Waits up to timeoutMs for a non-blocking socket to take more data: 1 writable, 0 timed out,
// SOCKET_ERROR on failure.
int waitWritable(TSocket s, int timeoutMs);
// SO_REUSEADDR. On Linux it only lets a listener bind over connections still in TIME_WAIT (which
// Windows allows anyway); a port another socket listens on stays refused.
int setReuseAddress(TSocket s);

// inet_addr: dotted text to a network-order address; INADDR_NONE (0xFFFFFFFF) when not dotted.
constexpr uint32_t INADDR_NONE_ = 0xFFFFFFFFu;
uint32_t inet_addr(const QByteArray &dotted);
// inet_ntoa: network-order address to "a.b.c.d".
QString inet_ntoa(uint32_t netAddr);

// htons, ntohs, htonl, ntohl (the system's names are macros).
uint16_t HostToNet16(uint16_t v);
uint16_t NetToHost16(uint16_t v);
uint32_t HostToNet32(uint32_t v);
uint32_t NetToHost32(uint32_t v);

} // namespace ws
