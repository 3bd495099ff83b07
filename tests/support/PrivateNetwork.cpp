#include "PrivateNetwork.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace testing_support {

namespace {

QString TryEnter()
{
    // Namespaces belong to threads: the way back is this thread's own.
    const int original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original < 0)
        return QStringLiteral("cannot open this thread's network namespace: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (::unshare(CLONE_NEWNET) != 0) {
        const int err = errno;
        ::close(original);
        return QStringLiteral("no private network namespace (unshare: %1; needs root)").arg(QString::fromLocal8Bit(std::strerror(err)));
    }
    // The last check makes sure loopback is the only interface before anything is sent.
    const int rc = std::system("ip link set lo up && ip route add 224.0.0.0/4 dev lo"
                               " && test -z \"$(ip -o link show | grep -v ': lo:')\"");
    if (rc != 0) {
        ::setns(original, CLONE_NEWNET);
        ::close(original);
        return QStringLiteral("could not set up loopback and the multicast route in the private namespace");
    }
    ::close(original);
    return {};
}

} // namespace

bool EnterPrivateNetwork(QString *reason)
{
    static const QString failure = TryEnter();
    if (reason)
        *reason = failure;
    return failure.isEmpty();
}

} // namespace testing_support
