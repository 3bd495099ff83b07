#include "SendWaits.h"

#include <sys/socket.h>

#include <algorithm>

// Qt
#include <QFile>

// datawindow
#include "datapanel.h"

namespace testing_support {

Trigger::Trigger(std::function<bool()> condition, std::function<void()> action)
{
    FTimer.setInterval(0);
    QObject::connect(&FTimer, &QTimer::timeout, [this, condition, action] {
        if (condition()) {
            FTimer.stop();
            action();
        }
    });
    FTimer.start();
}

std::function<bool()> Waiting(const QPointer<TFrmData> &window)
{
    return [window, last = int64_t(-1), same = 0]() mutable {
        const int64_t now = window ? window->SendCount : -1;
        same = now == last ? same + 1 : 0;
        last = now;
        return same >= 2;
    };
}

namespace {

int option(ws::TSocket s, int name)
{
    int value = 0;
    socklen_t length = sizeof value;
    return ::getsockopt(int(s), SOL_SOCKET, name, &value, &length) == 0 ? value : 0;
}

// The largest size the system grows a TCP buffer to by itself (the last of the three numbers).
int64_t grownTo(const char *file)
{
    QFile f(QString::fromLatin1(file));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().simplified().split(' ').value(2).toLongLong();
}

} // namespace

int SendBufferOf(ws::TSocket s)
{
    return option(s, SO_SNDBUF);
}

int ReceiveBufferOf(ws::TSocket s)
{
    return option(s, SO_RCVBUF);
}

int64_t MoreThanTcpBuffersHold(int senderSendBuffer, int receiverReceiveBuffer)
{
    const int64_t send = std::max<int64_t>(senderSendBuffer, grownTo("/proc/sys/net/ipv4/tcp_wmem"));
    return 2 * (send + receiverReceiveBuffer);
}

} // namespace testing_support
