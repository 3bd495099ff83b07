#pragma once
// A member of one IPv4 multicast group, built on the socket layer directly: one datagram socket
// bound to the group port on all local addresses and joined to the group on the default
// interface. Every failure is told to the user in its own message box, in order, and the
// operation goes on.

#include <cstdint>

// Qt
#include <QByteArray>
#include <QEvent>
#include <QPointer>
#include <QString>

// platform
#include "WinSock.h"

class QObject;
namespace ws {
class TAsyncSelect;
}

// The group socket message: sent to the window given to GroupOpen once for every datagram that
// waits on the group socket. The window hands it to GroupReceive of its member.
class TGroupSocketMessage : public QEvent {
public:
    // Event code: data is ready to read.
    static constexpr int ReadReady = 1;

    TGroupSocketMessage(ws::TSocket socket, int eventCode);
    // The first user event after QEvent::User, as the window message was, if nobody took it.
    static QEvent::Type MessageType();

    ws::TSocket Socket;
    int EventCode;
};

// The member's fields; the instance record of a multicast member carries them by these names.
struct TGroupEndpoint {
    TGroupEndpoint() = default;
    // Closes the socket if it is still open (GroupClose is the normal way).
    ~TGroupEndpoint();
    TGroupEndpoint(const TGroupEndpoint &) = delete;
    TGroupEndpoint &operator=(const TGroupEndpoint &) = delete;

    ws::TSocket GroupSocket = ws::INVALID_SOCKET;
    // Family 2, the group port, any local address.
    ws::TSockAddrIn GroupBindAddr;
    // Family 2, the group port; the group address is written before every send.
    ws::TSockAddrIn GroupDestAddr;
    // The group address, interface 0 (the system's default interface).
    ws::TIpMreq GroupMembership;
    int32_t GroupPort = 0;
    QString GroupAddress;
    // Delivers GroupSocket's readiness as group socket messages; gone after GroupClose.
    QPointer<ws::TAsyncSelect> GroupNotifier;
};

// Opens the member: socket, bind to the group port, join the group, group socket messages to
// `window` (if given). Shows, each in its own box and going on after it: "StartUp Error!", the
// error number + "  Socket创建失败", "bind fail", "无法进行UDP组播".
void GroupOpen(TGroupEndpoint &group, QObject *window, const QString &groupAddress, int32_t groupPort);

// Reads at most one datagram and returns its bytes whole (any size a datagram can have); no
// bytes when the message is not read-ready or the read failed.
QByteArray GroupReceive(TGroupEndpoint &group, const TGroupSocketMessage &message);

// Sends the bytes as one datagram to the group address at the group port. A failure shows, in
// this order: the error number (never the would-block 10035), "send fail", "Not Send all".
void GroupSend(TGroupEndpoint &group, const QByteArray &bytes);

// Stops the group socket messages and closes the socket, which ends the membership.
void GroupClose(TGroupEndpoint &group);
