#pragma once
// Helpers for tests of sends that have to wait: knowing when a running send command waits, doing
// something from inside it then, and sizing a TCP send so that it cannot finish while the
// receiving side reads nothing.

#include <cstdint>
#include <functional>

// Qt
#include <QPointer>
#include <QTimer>

#include "WinSock.h"

class TFrmData;

namespace testing_support {

// Calls action once, from the event handling of a running send command, when condition holds.
class Trigger {
public:
    Trigger(std::function<bool()> condition, std::function<void()> action);

private:
    QTimer FTimer;
};

// True once the window's sent total stayed put over three passes of event handling: a send that
// waits, since every finished repetition adds to it before its pass.
std::function<bool()> Waiting(const QPointer<TFrmData> &window);

// The send and receive buffer sizes of a socket as the system reports them.
int SendBufferOf(ws::TSocket s);
int ReceiveBufferOf(ws::TSocket s);

// More bytes than a TCP connection holds while its receiver reads nothing: the sender's send
// buffer (as large as the system grows it by itself while the send goes on, net.ipv4.tcp_wmem)
// and the receiver's receive buffer (which grows only as its owner reads), twice over.
int64_t MoreThanTcpBuffersHold(int senderSendBuffer, int receiverReceiveBuffer);

} // namespace testing_support
