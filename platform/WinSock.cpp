#include "WinSock.h"

#include "SelectReactor.h"

#include <algorithm>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ws {

namespace {

thread_local int lastError = 0;

struct ErrnoMapping {
    int err;
    int wsa;
};

// Several errno values map to one Windows number; the first row of a Windows number is the one
// whose text SysErrorMessage shows.
constexpr ErrnoMapping errnoTable[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAENOTSOCK},
    {ENOTSOCK, WSAENOTSOCK},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EWOULDBLOCK, WSAEWOULDBLOCK},
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEWOULDBLOCK},
    {EALREADY, WSAEALREADY},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {EPIPE, WSAESHUTDOWN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {ETOOMANYREFS, WSAETOOMANYREFS},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ELOOP, WSAELOOP},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
    // accept() passes on network errors of the half-made connection; Windows drops those.
    {EPROTO, WSAECONNABORTED},
    {ENONET, WSAENETDOWN},
    {ENOTEMPTY, WSAENOTEMPTY},
    {EUSERS, WSAEUSERS},
    {EDQUOT, WSAEDQUOT},
    {ESTALE, WSAESTALE},
    {EREMOTE, WSAEREMOTE},
};

struct ChineseText {
    int wsa;
    const char16_t *text;
};

// The reasons a connect or a lookup ends with, as the system says them in simplified Chinese.
constexpr ChineseText chineseTexts[] = {
    {WSAECONNREFUSED, u"由于目标计算机积极拒绝，无法连接。"},
    {WSAETIMEDOUT, u"由于连接方在一段时间后没有正确答复或连接的主机没有反应，连接尝试失败。"},
    {WSAEHOSTUNREACH, u"套接字操作尝试一个无法连接的主机。"},
    {WSAENETUNREACH, u"向一个无法连接的网络尝试了一个套接字操作。"},
    {WSAENETDOWN, u"套接字操作遇到了一个已死的网络。"},
    {WSAEHOSTDOWN, u"由于目标主机关闭，套接字操作失败。"},
    {WSAECONNRESET, u"远程主机强迫关闭了一个现有的连接。"},
    {WSAECONNABORTED, u"你的主机中的软件中止了一个已建立的连接。"},
    {WSAEADDRNOTAVAIL, u"在其上下文中，该请求的地址无效。"},
    {WSAEACCES, u"以一种访问权限不允许的方式做了一个访问套接字的尝试。"},
    {WSAHOST_NOT_FOUND, u"不知道这样的主机。"},
    {WSATRY_AGAIN, u"这通常是在主机名解析时的临时错误，它意味着本地服务器没有从授权服务器接收响应。"},
    {WSANO_RECOVERY, u"在数据库查找中出现一个不可恢复的错误。"},
    {WSANO_DATA, u"请求的名称有效，但是找不到请求的类型的数据。"},
};

int fail()
{
    lastError = MapErrno(errno);
    return SOCKET_ERROR;
}

int ok(int result)
{
    lastError = 0;
    return result;
}

const sockaddr *sa(const TSockAddrIn &a)
{
    return reinterpret_cast<const sockaddr *>(&a);
}

sockaddr *sa(TSockAddrIn *a)
{
    return reinterpret_cast<sockaddr *>(a);
}

static_assert(sizeof(sockaddr_in) == sizeof(TSockAddrIn), "layouts must agree");
static_assert(sizeof(ip_mreq) == sizeof(TIpMreq), "layouts must agree");

} // namespace

int WSAStartup() { return 0; }
int WSACleanup() { return 0; }

int WSAGetLastError() { return lastError; }
void WSASetLastError(int code) { lastError = code; }

int MapErrno(int err)
{
    for (const auto &m : errnoTable)
        if (m.err == err)
            return m.wsa;
    return err; // unknown: keep the system number
}

QString SysErrorMessage(int code)
{
    switch (code) {
    case WSAHOST_NOT_FOUND: return QStringLiteral("Host not found");
    case WSATRY_AGAIN: return QStringLiteral("Temporary failure in name resolution");
    case WSANO_RECOVERY: return QStringLiteral("Non-recoverable failure in name resolution");
    case WSANO_DATA: return QStringLiteral("No address associated with hostname");
    default: break;
    }
    for (const auto &m : errnoTable)
        if (m.wsa == code)
            return QString::fromLocal8Bit(std::strerror(m.err));
    if (code > 0 && code < 4096)
        return QString::fromLocal8Bit(std::strerror(code));
    return QStringLiteral("Unknown error");
}

TSocket socket(int af, int type, int protocol)
{
    int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        fail();
        return INVALID_SOCKET;
    }
    return ok(fd);
}

int closesocket(TSocket s)
{
    if (s < 0) {
        lastError = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    if (TSelectReactor *reactor = TSelectReactor::Existing())
        reactor->Forget(s);
    // Linux closes the descriptor even when close() reports EINTR: never retry.
    if (::close(s) != 0 && errno != EINTR)
        return fail();
    return ok(0);
}

int setNonBlocking(TSocket s, bool on)
{
    int flags = ::fcntl(s, F_GETFL);
    if (flags < 0)
        return fail();
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(s, F_SETFL, flags) < 0)
        return fail();
    return ok(0);
}

int bind(TSocket s, const TSockAddrIn &addr)
{
    if (::bind(s, sa(addr), sizeof addr) != 0)
        return fail();
    return ok(0);
}

int listen(TSocket s, int backlog)
{
    if (::listen(s, backlog) != 0)
        return fail();
    return ok(0);
}

TSocket accept(TSocket s, TSockAddrIn *from)
{
    TSockAddrIn tmp;
    socklen_t len = sizeof tmp;
    int fd;
    do {
        fd = ::accept4(s, sa(&tmp), &len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        fail();
        return INVALID_SOCKET;
    }
    if (from)
        *from = tmp;
    return ok(fd);
}

int connect(TSocket s, const TSockAddrIn &addr)
{
    if (::connect(s, sa(addr), sizeof addr) != 0)
        return fail();
    return ok(0);
}

int pendingError(TSocket s)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return MapErrno(errno);
    return err ? MapErrno(err) : 0;
}

int send(TSocket s, const char *buf, int len)
{
    ssize_t n;
    do {
        n = ::send(s, buf, static_cast<size_t>(len), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return fail();
    return ok(static_cast<int>(n));
}

int recv(TSocket s, char *buf, int len)
{
    ssize_t n;
    do {
        n = ::recv(s, buf, static_cast<size_t>(len), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return fail();
    return ok(static_cast<int>(n));
}

int sendto(TSocket s, const char *buf, int len, const TSockAddrIn &to)
{
    ssize_t n;
    do {
        n = ::sendto(s, buf, static_cast<size_t>(len), MSG_NOSIGNAL, sa(to), sizeof to);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return fail();
    return ok(static_cast<int>(n));
}

int recvfrom(TSocket s, char *buf, int len, TSockAddrIn *from)
{
    TSockAddrIn tmp;
    socklen_t alen = sizeof tmp;
    iovec iov{buf, static_cast<size_t>(len)};
    msghdr msg{};
    msg.msg_name = &tmp;
    msg.msg_namelen = alen;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n;
    do {
        n = ::recvmsg(s, &msg, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return fail();
    if (from)
        *from = tmp;
    if (msg.msg_flags & MSG_TRUNC) {
        // Windows reports a datagram that did not fit as an error; its rest is lost either way.
        lastError = WSAEMSGSIZE;
        return SOCKET_ERROR;
    }
    return ok(static_cast<int>(n));
}

int recvfromBatch(TSocket s, TDatagramSlot *rooms, int n)
{
    n = std::clamp(n, 0, MaxBatch);
    mmsghdr messages[MaxBatch];
    iovec iovs[MaxBatch];
    for (int i = 0; i < n; ++i) {
        iovs[i] = {rooms[i].buf, static_cast<size_t>(rooms[i].len)};
        messages[i] = {};
        messages[i].msg_hdr.msg_name = &rooms[i].from;
        messages[i].msg_hdr.msg_namelen = sizeof rooms[i].from;
        messages[i].msg_hdr.msg_iov = &iovs[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    int got;
    do {
        got = ::recvmmsg(s, messages, static_cast<unsigned>(n), MSG_DONTWAIT, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return fail();
    for (int i = 0; i < got; ++i) {
        TDatagramSlot &slot = rooms[i];
        slot.error = 0;
        slot.count = static_cast<int>(messages[i].msg_len);
        // Windows reports a datagram that did not fit as an error; its rest is lost either way.
        if (messages[i].msg_hdr.msg_flags & MSG_TRUNC) {
            slot.count = SOCKET_ERROR;
            slot.error = WSAEMSGSIZE;
        }
    }
    return ok(got);
}

int nextDatagramSize(TSocket s)
{
    char probe;
    ssize_t n;
    do {
        n = ::recv(s, &probe, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return fail();
    return ok(static_cast<int>(n));
}

int bytesAvailable(TSocket s, int *count)
{
    int n = 0;
    if (::ioctl(s, FIONREAD, &n) != 0)
        return fail();
    if (count)
        *count = n;
    return ok(0);
}

int getsockname(TSocket s, TSockAddrIn *addr)
{
    socklen_t len = sizeof *addr;
    if (::getsockname(s, sa(addr), &len) != 0)
        return fail();
    return ok(0);
}

int getpeername(TSocket s, TSockAddrIn *addr)
{
    socklen_t len = sizeof *addr;
    if (::getpeername(s, sa(addr), &len) != 0)
        return fail();
    return ok(0);
}

int joinGroup(TSocket s, const TIpMreq &mreq)
{
    if (::setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) != 0)
        return fail();
    return ok(0);
}

int setReceiveBuffer(TSocket s, int bytes)
{
    if (::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0)
        return fail();
    int granted = 0;
    socklen_t len = sizeof granted;
    if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &len) != 0)
        return fail();
    // Linux reports twice the size asked for (it counts its own bookkeeping).
    return ok(granted / 2);
}

int setDontLinger(TSocket s)
{
    linger l{0, 0};
    if (::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
        return fail();
    return ok(0);
}

int setBroadcast(TSocket s, bool on)
{
    int v = on ? 1 : 0;
    if (::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &v, sizeof v) != 0)
        return fail();
    return ok(0);
}

int setReuseAddress(TSocket s)
{
    int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return fail();
    return ok(0);
}

int waitWritable(TSocket s, int timeoutMs)
{
    pollfd p{s, POLLOUT, 0};
    int n;
    do {
        n = ::poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return fail();
    return ok(n > 0 ? 1 : 0);
}

uint32_t inet_addr(const QByteArray &dotted)
{
    in_addr a{};
    if (::inet_aton(dotted.constData(), &a) == 0)
        return INADDR_NONE_;
    return a.s_addr;
}

QString inet_ntoa(uint32_t netAddr)
{
    const auto *b = reinterpret_cast<const unsigned char *>(&netAddr);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

uint16_t HostToNet16(uint16_t v) { return htons(v); }
uint16_t NetToHost16(uint16_t v) { return ntohs(v); }
uint32_t HostToNet32(uint32_t v) { return htonl(v); }
uint32_t NetToHost32(uint32_t v) { return ntohl(v); }

} // namespace ws

namespace ws {

QString ReasonText(int code)
{
    for (const auto &t : chineseTexts)
        if (t.wsa == code)
            return QString::fromUtf16(t.text) + QStringLiteral("(%1)").arg(code);
    return SysErrorMessage(code) + QStringLiteral("(%1)").arg(code);
}

} // namespace ws
