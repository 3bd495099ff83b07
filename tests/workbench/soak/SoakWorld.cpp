// The soak's world around the program: peers that connect, read, stall and end, the UDP peer that
// every UDP endpoint of the program talks to, and the record of what they got.

#include "Soak.h"

#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QDir>
#include <QFileInfo>

#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestSupport.h"
#include "datapanel.h"

namespace soak {

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    return a;
}

int PortOf(int fd, bool peer = false)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    (peer ? getpeername : getsockname)(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

} // namespace

int Soak::Listener()
{
    if (FListener < 0) {
        FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_in a = Loopback(0);
        ::bind(FListener, reinterpret_cast<const sockaddr *>(&a), sizeof a);
        ::listen(FListener, 64);
    }
    return PortOf(FListener);
}

int Soak::UdpPeerSocket()
{
    if (FUdpPeer < 0) {
        FUdpPeer = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        // Room for a burst of repetitions between two drains; what overflows it the system counts.
        const int room = 4 * 1024 * 1024;
        ::setsockopt(FUdpPeer, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        const sockaddr_in a = Loopback(0);
        ::bind(FUdpPeer, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    }
    return FUdpPeer;
}

void Soak::DrainPeers()
{
    if (FListener >= 0)
        for (int fd; (fd = ::accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            TcpPeer p;
            p.fd = fd;
            p.localPort = PortOf(fd);
            p.remotePort = PortOf(fd, true);
            FPeers.push_back(p);
        }
    static char room[65536];
    if (FUdpPeer >= 0) {
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(FUdpPeer, room, sizeof room, 0, reinterpret_cast<sockaddr *>(&from), &len);
            if (n < 0)
                break;
            ++FUdpReceived;
            // The first of what that port sent and has not come yet, less those the system dropped.
            std::deque<QByteArray> &queue = FUdpExpected[ntohs(from.sin_port)];
            const QByteArray got(room, int(n));
            while (!queue.empty() && queue.front() != got)
                queue.pop_front();
            if (queue.empty() && FUdpFailure.isEmpty())
                FUdpFailure = QStringLiteral("the UDP peer got %1 bytes from port %2 that no window counted as sent")
                                  .arg(n)
                                  .arg(ntohs(from.sin_port));
            else if (!queue.empty())
                queue.pop_front();
        }
    }
    const auto now = Clock::now();
    for (TcpPeer &p : FPeers) {
        if (!p.open || now < p.stalledUntil)
            continue;
        for (;;) {
            const ssize_t n = ::recv(p.fd, room, sizeof room, 0);
            if (n > 0) {
                p.received.append(room, int(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                ::close(p.fd);
                p.fd = -1;
                p.open = false;
            }
            break;
        }
    }
}

void Soak::ClosePeers()
{
    for (TcpPeer &p : FPeers)
        if (p.fd >= 0)
            ::close(p.fd);
    FPeers.clear();
    for (int *fd : {&FListener, &FUdpPeer})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    FExpected.clear();
    FUdpExpected.clear();
    FUdpSent = FUdpReceived = 0;
}

void Soak::EndPeer(TcpPeer &p, bool reset)
{
    if (reset) {
        const linger hard{1, 0};
        ::setsockopt(p.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(p.fd);
    p.fd = -1;
    p.open = false;
}

TcpPeer *Soak::PickPeer(uint32_t r)
{
    std::vector<TcpPeer *> open;
    for (TcpPeer &p : FPeers)
        if (p.open)
            open.push_back(&p);
    return open.empty() ? nullptr : open[r % open.size()];
}

TFrmData *Soak::WindowOf(const TcpPeer &p) const
{
    if (!p.open)
        return nullptr;
    // Both ends: the system gives a port again to a connection of another server.
    for (TMySocket *i : Instances()) {
        if (i->LinkState != 1)
            continue;
        if (p.toServer && i->Kind == kind::TcpServerClient && i->RemotePort == p.localPort
            && i->LocalPort == p.remotePort)
            return i->DataWindow;
        if (!p.toServer && i->Kind == kind::TcpClient && i->LocalPort == p.remotePort && i->RemotePort == p.localPort)
            return i->DataWindow;
    }
    return nullptr;
}

TcpPeer *Soak::PeerOf(const TMySocket *instance)
{
    if (!instance)
        return nullptr;
    for (TcpPeer &p : FPeers)
        if (p.open && WindowOf(p) == instance->DataWindow)
            return &p;
    return nullptr;
}

void Soak::Sent(TMySocket *instance, const QByteArray &bytes, int64_t times, bool whole)
{
    if (FUdpAhead > 0 && (!instance || instance->Kind == kind::UdpClient || instance->Kind == kind::UdpServer)) {
        // Expected before they went: those that did not go are taken back from the end. A window
        // gone meanwhile no longer says how many went: as many as came (sent on loopback is there).
        std::deque<QByteArray> &queue = FUdpExpected[FUdpAheadPort];
        if (!instance) {
            DrainPeers();
            times = FUdpAhead - std::min<int64_t>(FUdpAhead, int64_t(queue.size()));
        }
        for (int64_t extra = FUdpAhead - times; extra > 0 && !queue.empty(); --extra)
            queue.pop_back();
        FUdpSent += times;
        FUdpAhead = 0;
        return;
    }
    if (!instance || bytes.isEmpty() || times <= 0)
        return;
    if (instance->Kind == kind::TcpClient || instance->Kind == kind::TcpServerClient) {
        if (TcpPeer *p = PeerOf(instance)) {
            for (int64_t i = 0; i < times; ++i)
                p->expected += bytes;
            p->exact = p->exact && whole;
        }
    }
}

void Soak::ExpectDatagrams(TMySocket *instance, const QByteArray &bytes, int64_t times)
{
    FUdpAhead = 0;
    TNMUDP *udp = !instance ? nullptr
        : instance->Kind == kind::UdpClient ? instance->UdpClient
        : instance->Kind == kind::UdpServer ? instance->UdpServer
                                            : nullptr;
    if (!udp || bytes.isEmpty() || times <= 0)
        return;
    FUdpAheadPort = udp->BoundPort();
    std::deque<QByteArray> &queue = FUdpExpected[FUdpAheadPort];
    for (int64_t i = 0; i < times; ++i)
        queue.push_back(bytes);
    FUdpAhead = times;
}

void Soak::NewForm()
{
    form = std::make_unique<TForm1>();
    form->show();
    FFormClosed = false;
}

void Soak::ReopenAfterClose()
{
    // Closing ended every endpoint at once; the peers learn of it and go.
    testing_support::DrainEvents();
    ClosePeers();
    testing_support::DrainEvents();
    if (form->SocketList.Count() != 0)
        FLateFailure = QStringLiteral("instances left after the main window closed");
    else if (OpenSockets() != FBaseSockets)
        FLateFailure = QStringLiteral("%1 sockets of the program left open after the main window closed")
                           .arg(OpenSockets() - FBaseSockets);
    form.reset();
    testing_support::DrainEvents();
    NewForm();
}

int Soak::OpenSockets()
{
    int n = 0;
    for (const QFileInfo &fd :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::NoDotAndDotDot | QDir::System))
        n += fd.symLinkTarget().contains(QLatin1String("socket:["));
    return n;
}

} // namespace soak
