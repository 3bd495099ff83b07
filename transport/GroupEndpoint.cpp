#include "GroupEndpoint.h"

#include <climits>
#include <memory>

// Qt
#include <QCoreApplication>

// platform
#include "AsyncSelect.h"
#include "MessageSeam.h"

namespace {

// Room for the largest datagram IPv4 can carry, so a read never cuts one.
constexpr int DatagramRoom = 65536;
// The default buffer drops a good part of a burst before the UI thread gets to it; the system
// grants at most its own limit.
constexpr int ReceiveBufferSize = 4 * 1024 * 1024;
// A busy group must not starve the rest of the event loop; the notifier fires again.
constexpr int ReadsPerWakeUp = 32;

ws::TSockAddrIn GroupPortAddress(int32_t port)
{
    ws::TSockAddrIn a;
    a.sin_family = ws::AF_INET_;
    a.sin_port = ws::HostToNet16(static_cast<uint16_t>(port)); // low 16 bits, as typed
    return a;
}

// One group socket message per datagram waiting, bounded per wake-up. The window, the
// notifier or the socket may be gone when a message returns (a box, a delete).
void DeliverReadable(ws::TSocket s, const QPointer<ws::TAsyncSelect> &notifier, const QPointer<QObject> &window)
{
    for (int i = 0; i < ReadsPerWakeUp; ++i) {
        if (!notifier || !notifier->readEnabled() || !window)
            return;
        if (ws::nextDatagramSize(s) < 0 && ws::WSAGetLastError() == ws::WSAEWOULDBLOCK)
            return;
        TGroupSocketMessage message(s, TGroupSocketMessage::ReadReady);
        QCoreApplication::sendEvent(window, &message);
    }
}

void SelectReadable(TGroupEndpoint &group, QObject *window)
{
    const ws::TSocket s = group.GroupSocket;
    const QPointer<QObject> target(window);
    auto self = std::make_shared<QPointer<ws::TAsyncSelect>>();
    auto *notifier = new ws::TAsyncSelect(
        s,
        [s, target, self](ws::TAsyncSelect::Ready) {
            // Copies first: this handler is destroyed with its notifier.
            const QPointer<ws::TAsyncSelect> n = *self;
            const QPointer<QObject> w = target;
            DeliverReadable(s, n, w);
        },
        window);
    *self = notifier;
    notifier->setReadEnabled(true);
    group.GroupNotifier = notifier;
}

} // namespace

TGroupSocketMessage::TGroupSocketMessage(ws::TSocket socket, int eventCode)
    : QEvent(MessageType()), Socket(socket), EventCode(eventCode)
{
}

QEvent::Type TGroupSocketMessage::MessageType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 1));
    return type;
}

TGroupEndpoint::~TGroupEndpoint()
{
    GroupClose(*this);
}

void GroupOpen(TGroupEndpoint &group, QObject *window, const QString &groupAddress, int32_t groupPort)
{
    if (ws::WSAStartup() != 0)
        ui::ShowMessage(QStringLiteral("StartUp Error!"));

    group.GroupSocket = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    if (group.GroupSocket == ws::INVALID_SOCKET) {
        // Nothing to close; the later steps fail on the invalid handle and say so too.
        ui::ShowMessage(QString::number(ws::WSAGetLastError()) + QStringLiteral("  Socket创建失败"));
    } else {
        ws::setReceiveBuffer(group.GroupSocket, ReceiveBufferSize);
        // Never blocks the UI thread, with or without a window to notify.
        ws::setNonBlocking(group.GroupSocket, true);
    }

    group.GroupPort = groupPort;
    group.GroupBindAddr = GroupPortAddress(groupPort);
    // No address reuse: a second member on the same port fails here.
    if (ws::bind(group.GroupSocket, group.GroupBindAddr) != 0)
        ui::ShowMessage(QStringLiteral("bind fail"));

    group.GroupAddress = groupAddress;
    group.GroupMembership.imr_multiaddr = ws::inet_addr(groupAddress.toLatin1());
    group.GroupMembership.imr_interface = ws::HostToNet32(0);
    if (ws::joinGroup(group.GroupSocket, group.GroupMembership) == ws::SOCKET_ERROR)
        ui::ShowMessage(QStringLiteral("无法进行UDP组播"));

    if (window && group.GroupSocket != ws::INVALID_SOCKET)
        SelectReadable(group, window);

    group.GroupDestAddr = GroupPortAddress(groupPort);
}

QByteArray GroupReceive(TGroupEndpoint &group, const TGroupSocketMessage &message)
{
    if (message.EventCode != TGroupSocketMessage::ReadReady)
        return {};
    // One buffer for every member: all of them read on the UI thread, and the bytes are copied
    // out before anything else runs.
    static char buffer[DatagramRoom];
    // The source goes here, not into GroupDestAddr: sends keep going to the group port.
    ws::TSockAddrIn source;
    const int n = ws::recvfrom(group.GroupSocket, buffer, DatagramRoom, &source);
    if (n <= 0)
        return {};
    return QByteArray(buffer, n);
}

void GroupSend(TGroupEndpoint &group, const QByteArray &bytes)
{
    group.GroupDestAddr.sin_addr = ws::inet_addr(group.GroupAddress.toLatin1());
    // Anything near INT_MAX is far beyond a datagram and fails as too long.
    const int length = bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
    const int n = ws::sendto(group.GroupSocket, bytes.constData(), length, group.GroupDestAddr);
    const int error = ws::WSAGetLastError();
    if (error != 0 && error != ws::WSAEWOULDBLOCK)
        ui::ShowMessage(QString::number(error));
    if (n == ws::SOCKET_ERROR)
        ui::ShowMessage(QStringLiteral("send fail"));
    if (n != bytes.size())
        ui::ShowMessage(QStringLiteral("Not Send all"));
}

void GroupClose(TGroupEndpoint &group)
{
    if (ws::TAsyncSelect *notifier = group.GroupNotifier.data()) {
        // Off before the close, so the closed (and perhaps reused) descriptor is never watched;
        // deleted later, since this may run inside its own handler.
        notifier->setReadEnabled(false);
        notifier->deleteLater();
        group.GroupNotifier = nullptr;
    }
    if (group.GroupSocket != ws::INVALID_SOCKET) {
        ws::closesocket(group.GroupSocket);
        group.GroupSocket = ws::INVALID_SOCKET;
    }
}
