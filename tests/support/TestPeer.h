#pragma once
// A real TCP peer outside the program: a python3 process on 127.0.0.1 that connects, listens,
// sends, reads, closes and resets on command (tests/support/peer.py).

// Qt
#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

namespace testing_support {

class TestPeer {
public:
    TestPeer();
    ~TestPeer();
    TestPeer(const TestPeer &) = delete;
    TestPeer &operator=(const TestPeer &) = delete;

    // Sends one command and waits (handling events meanwhile) for the answer line; empty when
    // none came in time. The answer's first word is checked by the caller.
    QString Command(const QString &line, int timeoutMs = 10000);
    // Sends a command without waiting; Answer() collects it later.
    void Post(const QString &line);
    QString Answer(int timeoutMs = 10000);

    // Convenience: the peer's local port, or -1 when the connect failed.
    int Connect(const QString &name, int port);
    bool Send(const QString &name, const QByteArray &bytes);
    // Up to count bytes (fewer at end of stream).
    QByteArray Receive(const QString &name, int count);
    bool Close(const QString &name);
    bool Reset(const QString &name);
    // True when the other side closed with nothing more to read.
    bool WaitEof(const QString &name);
    // The receive buffer size the system reports for the peer's connection; 0 when unknown.
    int ReceiveBuffer(const QString &name);

private:
    QProcess *FProcess;
    QByteArray FBuffer;
};

// A port on 127.0.0.1 that nothing was bound to a moment ago, for TCP or (udp) for UDP. Racy:
// another test may take it before it is used. Kept for the tests that still call it; new tests
// hold their ports (HeldPort, a program endpoint made on port 0 and BoundPort, Ports.h).
int UnusedPort(bool udp = false);

} // namespace testing_support
