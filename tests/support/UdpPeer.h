#pragma once
// A real outside UDP peer for tests: a python3 socket script bound to 127.0.0.1, started as a
// separate process. It reports its own port first, then one line per datagram it received.

#include <memory>

// Qt
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QProcess;

namespace testing_support {

class UdpPeer {
public:
    ~UdpPeer();
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    // Sends one datagram of Pattern(size) per size to 127.0.0.1:toPort, in order, from a socket
    // bound to fromAddress (any 127.x.y.z is local); then receives up to `replies` datagrams,
    // one line each as a receiver prints them.
    static std::unique_ptr<UdpPeer> Sender(int toPort, const QList<int> &sizes,
                                           const QString &fromAddress = QStringLiteral("127.0.0.1"), int replies = 0);
    // Sends count datagrams of size bytes; datagram i begins with i as four big-endian bytes.
    static std::unique_ptr<UdpPeer> Burst(int toPort, int count, int size);
    // Receives up to count datagrams; one line each: "<length> <sha1 hex> <source port>".
    static std::unique_ptr<UdpPeer> Receiver(int count);

    // The peer's own port (its first line); 0 when it did not come.
    int Port();
    // Waits for n datagram lines (after the port line); returns whether they came.
    bool WaitLines(int n, int timeoutMs = 5000);
    QStringList Lines() const { return FLines; }
    bool WaitFinished(int timeoutMs = 5000);
    // Waits for the peer to end without handling any event meanwhile, so that everything it
    // sent is still queued at the receiving sockets.
    bool WaitFinishedHoldingEvents(int timeoutMs = 10000);

    // The bytes a peer sends for a datagram of n bytes.
    static QByteArray Pattern(int n);
    // The line a receiver prints for these bytes from this source port.
    static QString LineFor(const QByteArray &data, int sourcePort);

private:
    UdpPeer() = default;
    static std::unique_ptr<UdpPeer> Start(const QStringList &args);
    void ReadOutput();

    QProcess *FProcess = nullptr;
    int FPort = 0;
    QStringList FLines;
    QByteArray FPartial;
};

} // namespace testing_support
