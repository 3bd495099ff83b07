#pragma once
// The UDP component: one IPv4 datagram socket bound to a local port. Every datagram that arrives
// is read whole and reported as its own event on the UI thread; a stream is sent as one datagram
// to the remote host and port, a host name being resolved first (the UI keeps running meanwhile).

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Qt
#include <QBasicTimer>
#include <QByteArray>
#include <QObject>
#include <QString>

// platform
#include "Exception.h"
#include "WinSock.h"

#include "DatagramQueue.h"

class QIODevice;
namespace ws {
class TAsyncSelect;
}

// The error raised by the UDP component.
class UDPSockError : public Exception {
public:
    using Exception::Exception;
};

// Event shapes.
using TOnReceive = std::function<void(QObject *Sender, int NumberBytes, const QString &FromIP, int Port)>;
using TNotifyEvent = std::function<void(QObject *Sender)>;
using TOnStatus = std::function<void(QObject *Sender, const QString &status)>;
using THandlerEvent = std::function<void(bool &handled)>;
using TStreamInvalid = std::function<void(bool &handled, QIODevice *Stream)>;

class TNMUDP : public QObject {
    Q_OBJECT
public:
    // The most one IPv4 UDP datagram carries: 65,535 less the IP (20) and UDP (8) headers.
    static constexpr int MaxDatagram = 65507;
    // Events delivered per turn of the event loop, so one busy socket cannot starve the others.
    static constexpr int MaxEventsPerTurn = 32;
    // Datagrams taken from the kernel per wake-up, ahead of their events: reading is cheap and
    // the handlers (the log) are not, so a burst waits here rather than overflow the kernel.
    static constexpr int MaxReadsPerWake = 4096;
    // Datagrams read in one system call; while events are delivered, the kernel's buffer is
    // read after every few of them, a few batches at most (a turn of the loop that read
    // thousands between its events held the window up for 70 ms).
    static constexpr int ReadBatch = 16;
    static constexpr int ReadAheadEvery = 8;
    static constexpr int MaxReadsBetweenEvents = 4 * ReadBatch;
    // What may wait for its events, at most, in datagrams and in bytes (each datagram's own
    // bookkeeping counted with its payload: a flood of empty datagrams must not be free).
    // Beyond either the system's buffer takes over, and drops and counts what overflows it.
    static constexpr int MaxQueuedDatagrams = 32768;
    static constexpr int64_t MaxQueuedBytes = 32 * 1024 * 1024;
    static constexpr int64_t QueueEntryBytes = 96;
    // A flood's queue keeps its room until nothing has been read for this long.
    static constexpr int ReleaseRoomAfterMs = 1000;
    // Receive buffer asked of the system, so that a burst is not dropped; it may grant less.
    static constexpr int ReceiveBufferBytes = 4 * 1024 * 1024;

    // Creates an unbound datagram socket; raises UDPSockError when it cannot.
    explicit TNMUDP(QObject *owner = nullptr);
    // Does not close the socket: the owner closes Handle() first.
    ~TNMUDP() override;

    const QString &RemoteHost() const { return FRemoteHost; }
    void setRemoteHost(const QString &host) { FRemoteHost = host; }
    int RemotePort() const { return FRemotePort; }
    void setRemotePort(int port) { FRemotePort = port; }
    int LocalPort() const { return FLocalPort; }
    // Re-creates the socket and binds it to 0.0.0.0 and the port's low 16 bits. A taken port
    // leaves the socket unbound without a word (the creation dialogs probe the port first).
    void setLocalPort(int port);
    int ReportLevel() const { return FReportLevel; }
    void setReportLevel(int level) { FReportLevel = level; }

    TOnReceive OnDataReceived;
    TNotifyEvent OnDataSend;
    TOnStatus OnStatus;
    THandlerEvent OnInvalidHost;
    TStreamInvalid OnStreamInvalid;

    // Writes the datagram of the current OnDataReceived event into the stream and rewinds it.
    void ReadStream(QIODevice &stream);
    // Sends the whole stream as one datagram to RemoteHost:RemotePort.
    void SendStream(QIODevice &stream);
    // Ends every host lookup a send is waiting for; those sends raise "Host Lookup Canceled".
    void Cancel();

    ws::TSocket Handle() const { return FSocket; }
    // The port the socket is bound to (the system's choice for LocalPort 0); 0 when unbound.
    int BoundPort() const;
    // The receive buffer the system granted on the bound socket, in bytes.
    int ReceiveBufferGranted() const { return FReceiveBuffer; }
    // Datagrams read ahead and waiting for their events now.
    int QueuedDatagrams() const { return FQueue.Count(); }

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    struct Lookup;

    void DataReady();
    void ReadAhead(int most = MaxReadsPerWake);
    void DeliverQueued();
    void ScheduleDelivery();
    void ClearQueue();
    void SendDatagram(const QByteArray &data);
    uint32_t ResolveRemoteHost();
    // One asynchronous lookup with a nested event loop: true and the address when resolved,
    // false when the lookup failed; raises when it was cancelled or the component went away.
    bool LookupHost(const QString &name, uint32_t *netAddr);
    void Status(int level, const QString &text);
    void DropSelect();

    ws::TSocket FSocket = ws::INVALID_SOCKET;
    ws::TAsyncSelect *FSelect = nullptr;
    QString FRemoteHost;
    int FRemotePort = 0;
    int FLocalPort = 0;
    int FReportLevel = 1;
    int FReceiveBuffer = 0;
    // Counts socket re-creations, so a delivery loop notices that its socket was replaced.
    unsigned FGeneration = 0;
    // Datagrams read ahead of their events, in order.
    TDatagramQueue FQueue;
    // Payload and bookkeeping of what waits.
    int64_t FQueuedBytes = 0;
    bool FReadPaused = false;
    // Datagrams read so far; the room of the queue goes when it stood still for a timer's period.
    uint64_t FReads = 0;
    uint64_t FReadsAtRelease = 0;
    QBasicTimer FReleaseTimer;
    bool FDelivering = false;
    bool FDeliveryPosted = false;
    // The datagram of the current event and its byte count (-1 when the receive failed). Its
    // room is used again by the next event unless a handler kept the bytes.
    QByteArray FCurrent;
    // The text of the last sender's address: a flood comes from one sender, and the text is
    // then shared instead of formatted per datagram.
    uint32_t FLastFromAddr = 0;
    QString FLastFromIP;
    int FCount = 0;
    std::vector<std::shared_ptr<Lookup>> FLookups;
};
