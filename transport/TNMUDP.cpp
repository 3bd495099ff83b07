#include "TNMUDP.h"

#include <algorithm>
#include <cstring>
#include <memory>

// Qt
#include <QBuffer>
#include <QEventLoop>
#include <QIODevice>
#include <QMetaObject>
#include <QPointer>
#include <QTimerEvent>

// platform
#include "AsyncSelect.h"
#include "HostLookup.h"
#include "MessageSeam.h"

namespace {

const QString HostLookupCanceled = QStringLiteral("Host Lookup Canceled");

// Room for the largest datagram IPv4 can carry, so none is ever cut.
constexpr int ReceiveBufferSize = 65536;

// The rooms of one batch read, shared by every component: a read never runs inside another.
struct TBatchRooms {
    TBatchRooms() : bytes(std::make_unique<char[]>(size_t(TNMUDP::ReadBatch) * ReceiveBufferSize))
    {
        for (int i = 0; i < TNMUDP::ReadBatch; ++i) {
            rooms[i].buf = bytes.get() + size_t(i) * ReceiveBufferSize;
            rooms[i].len = ReceiveBufferSize;
        }
    }
    std::unique_ptr<char[]> bytes;
    ws::TDatagramSlot rooms[TNMUDP::ReadBatch];
};

ws::TDatagramSlot *batchRooms()
{
    static TBatchRooms batch;
    return batch.rooms;
}

// A datagram that will not go out at once waits this long for room in the send buffer.
constexpr int SendWaitMs = 100;
constexpr int SendWaitTries = 10;

[[noreturn]] void RaiseUnknown(int code)
{
    throw UDPSockError(QStringLiteral("Unknown Error No. ") + QString::number(code));
}

// Calls a copy of the event: a handler that frees the component frees the event with it.
template <typename Event, typename... Args>
void Fire(const Event &event, Args &&...args)
{
    if (event) {
        Event copy = event;
        copy(std::forward<Args>(args)...);
    }
}

QByteArray WholeStream(QIODevice &stream)
{
    if (auto *buffer = qobject_cast<QBuffer *>(&stream))
        return buffer->data();
    const bool wasOpen = stream.isOpen();
    if (!wasOpen && !stream.open(QIODevice::ReadOnly))
        return {};
    stream.seek(0);
    QByteArray data = stream.read(stream.size());
    if (!wasOpen)
        stream.close();
    return data;
}

} // namespace

struct TNMUDP::Lookup {
    int handle = 0;
    bool done = false;
    bool cancelled = false;
    int error = 0;
    uint32_t addr = 0;
    QEventLoop *loop = nullptr;
};

TNMUDP::TNMUDP(QObject *owner) : QObject(owner)
{
    Status(8, QStringLiteral("Initializing Winsock"));
    ws::WSAStartup();
    FSocket = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    if (FSocket == ws::INVALID_SOCKET)
        RaiseUnknown(ws::WSAGetLastError());
    if (ws::setDontLinger(FSocket) == ws::SOCKET_ERROR && ws::WSAGetLastError() != ws::WSAEWOULDBLOCK) {
        const int code = ws::WSAGetLastError();
        ws::closesocket(FSocket);
        FSocket = ws::INVALID_SOCKET;
        RaiseUnknown(code);
    }
    ws::setBroadcast(FSocket, true);
}

TNMUDP::~TNMUDP()
{
    Cancel();
    DropSelect();
    ws::WSACleanup();
}

void TNMUDP::setLocalPort(int port)
{
    DropSelect();
    ClearQueue();
    if (FSocket != ws::INVALID_SOCKET) {
        ws::closesocket(FSocket);
        FSocket = ws::INVALID_SOCKET;
    }
    ws::WSAStartup();
    FSocket = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    if (FSocket == ws::INVALID_SOCKET)
        RaiseUnknown(ws::WSAGetLastError());
    FLocalPort = port;
    ++FGeneration;
    // The data window offers the adapter's broadcast address as a destination.
    ws::setBroadcast(FSocket, true);
    FReceiveBuffer = std::max(0, ws::setReceiveBuffer(FSocket, ReceiveBufferBytes));

    ws::TSockAddrIn local;
    local.sin_family = ws::AF_INET_;
    local.sin_port = ws::HostToNet16(static_cast<uint16_t>(port & 0xFFFF));
    local.sin_addr = 0;
    ws::bind(FSocket, local); // unchecked: a taken port leaves the socket unbound

    FSelect = new ws::TAsyncSelect(FSocket, [this](ws::TAsyncSelect::Ready) { DataReady(); }, this);
    FSelect->setReadEnabled(true);
}

void TNMUDP::DropSelect()
{
    if (!FSelect)
        return;
    FSelect->setReadEnabled(false);
    FSelect->setWriteEnabled(false);
    FSelect->setParent(nullptr);
    // Inside its own handler the selector is still on the stack: let it go once that returns.
    if (FSelect->inHandler())
        FSelect->deleteLater();
    else
        delete FSelect;
    FSelect = nullptr;
}

int TNMUDP::BoundPort() const
{
    ws::TSockAddrIn addr;
    if (FSocket == ws::INVALID_SOCKET || ws::getsockname(FSocket, &addr) != 0)
        return 0;
    return ws::NetToHost16(addr.sin_port);
}

void TNMUDP::DataReady()
{
    ReadAhead();
    DeliverQueued();
}

void TNMUDP::ReadAhead(int most)
{
    // Paused: until the events have taken their share, so that reads come in batches.
    if (FSocket == ws::INVALID_SOCKET || FReadPaused)
        return;
    ws::TDatagramSlot *rooms = batchRooms();
    for (int read = 0; read < most;) {
        // Room by count and by bytes, each datagram taken to be the largest.
        const int64_t roomByBytes = (MaxQueuedBytes - FQueuedBytes + QueueEntryBytes + MaxDatagram - 1)
            / (QueueEntryBytes + MaxDatagram);
        const int n = int(std::min<int64_t>({ReadBatch, MaxQueuedDatagrams - FQueue.Count(), roomByBytes,
                                             most - read}));
        if (n <= 0) {
            // Full: stop the notifications (level-triggered, they would spin) until events
            // have taken their share.
            FReadPaused = true;
            if (FSelect)
                FSelect->setReadEnabled(false);
            return;
        }
        const int got = ws::recvfromBatch(FSocket, rooms, n);
        if (got == ws::SOCKET_ERROR) {
            if (ws::WSAGetLastError() != ws::WSAEWOULDBLOCK) {
                // The failed receive is an event of its own.
                FQueue.Push(nullptr, -1, 0, 0);
                FQueuedBytes += QueueEntryBytes;
            }
            return;
        }
        for (int i = 0; i < got; ++i) {
            const ws::TDatagramSlot &slot = rooms[i];
            FQueue.Push(slot.buf, slot.count, slot.from.sin_addr, int(ws::NetToHost16(slot.from.sin_port)));
            FQueuedBytes += QueueEntryBytes + std::max(slot.count, 0);
        }
        read += got;
        FReads += uint64_t(got);
        // Fewer than asked for: the kernel's buffer is empty.
        if (got < n)
            return;
    }
}

void TNMUDP::DeliverQueued()
{
    // A handler running a nested event loop (a message box, a host lookup) comes back here
    // through the notifier: its datagrams are read ahead above, and wait their turn.
    if (FDelivering)
        return;
    QPointer<TNMUDP> self(this);
    const unsigned generation = FGeneration;
    FDelivering = true;
    struct Finish {
        QPointer<TNMUDP> &self;
        ~Finish()
        {
            if (!self)
                return;
            self->FDelivering = false;
            if (self->FReadPaused && self->FQueuedBytes < MaxQueuedBytes / 2
                && self->FQueue.Count() < MaxQueuedDatagrams / 2) {
                self->FReadPaused = false;
                if (self->FSelect)
                    self->FSelect->setReadEnabled(true);
            }
            // The rest after the other sockets and the window have had their turn.
            if (!self->FQueue.Empty())
                self->ScheduleDelivery();
            else if (self->FQueue.HoldsRoom() && !self->FReleaseTimer.isActive())
                self->FReleaseTimer.start(ReleaseRoomAfterMs, self);
        }
    } finish{self};

    for (int i = 0; i < MaxEventsPerTurn && !FQueue.Empty(); ++i) {
        const TDatagramQueue::Datagram d = FQueue.Front();
        FCount = d.count;
        FCurrent.resize(std::max(d.count, 0));
        if (d.count > 0)
            std::memcpy(FCurrent.data(), d.data, size_t(d.count));
        FQueue.PopFront();
        FQueuedBytes -= QueueEntryBytes + std::max(d.count, 0);
        if (!OnDataReceived)
            continue;
        if (FLastFromIP.isEmpty() || d.fromAddr != FLastFromAddr) {
            const auto *b = reinterpret_cast<const unsigned char *>(&d.fromAddr);
            FLastFromIP = QString::asprintf("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
            FLastFromAddr = d.fromAddr;
        }
        const QString fromIP = FLastFromIP;
        Fire(OnDataReceived, this, FCount, fromIP, d.fromPort);
        // The handler may have freed the component or re-created its socket.
        if (!self || FGeneration != generation)
            return;
        // Handlers are slow next to a read (the log): keep the kernel's buffer from filling
        // meanwhile.
        if (i % ReadAheadEvery == ReadAheadEvery - 1)
            ReadAhead(MaxReadsBetweenEvents);
    }
}

void TNMUDP::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != FReleaseTimer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    if (FReads != FReadsAtRelease || !FQueue.Empty()) {
        FReadsAtRelease = FReads;
        return;
    }
    FReleaseTimer.stop();
    FQueue.ReleaseRoom();
}

void TNMUDP::ScheduleDelivery()
{
    if (FDeliveryPosted)
        return;
    FDeliveryPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FDeliveryPosted = false;
            ui::RunGuarded([this] {
                ReadAhead();
                DeliverQueued();
            });
        },
        Qt::QueuedConnection);
}

void TNMUDP::ClearQueue()
{
    FQueue.Clear();
    FQueuedBytes = 0;
    FReadPaused = false;
}

void TNMUDP::ReadStream(QIODevice &stream)
{
    // A fresh buffer takes the datagram's bytes as they are, shared rather than copied.
    auto *buffer = qobject_cast<QBuffer *>(&stream);
    if (buffer && !buffer->isOpen() && buffer->buffer().isEmpty() && FCount > 0) {
        buffer->setData(FCurrent);
        buffer->open(QIODevice::ReadWrite);
        return;
    }
    if (!stream.isOpen())
        stream.open(QIODevice::ReadWrite);
    if (FCount > 0)
        stream.write(FCurrent.constData(), FCount);
    stream.seek(0);
}

void TNMUDP::SendStream(QIODevice &stream)
{
    if (stream.size() == 0) {
        bool handled = false;
        QPointer<TNMUDP> self(this);
        Fire(OnStreamInvalid, handled, &stream);
        if (!self || !handled || stream.size() == 0)
            throw Exception(QStringLiteral("Invalid stream"));
    }
    SendDatagram(WholeStream(stream));
}

void TNMUDP::SendDatagram(const QByteArray &data)
{
    if (data.size() > MaxDatagram)
        throw UDPSockError(QStringLiteral("Datagram too long: %1 bytes, but one UDP datagram carries at most %2 bytes; "
                                          "nothing was sent")
                               .arg(data.size())
                               .arg(MaxDatagram));
    if (FRemoteHost.isEmpty())
        throw UDPSockError(QStringLiteral("No remote host: no datagram has been received yet, so there is no one "
                                          "to answer; nothing was sent"));

    const uint32_t addr = ResolveRemoteHost();
    if (addr == 0)
        throw UDPSockError(QStringLiteral("Null Remote Address"));

    QPointer<TNMUDP> self(this);
    Status(2, QStringLiteral("Sending Data"));
    if (!self)
        return;
    ws::TSockAddrIn to;
    to.sin_family = ws::AF_INET_;
    to.sin_port = ws::HostToNet16(static_cast<uint16_t>(FRemotePort & 0xFFFF));
    to.sin_addr = addr;
    int sent = ws::sendto(FSocket, data.constData(), data.size(), to);
    // The socket is non-blocking for the read notifications; a full send buffer is waited out
    // for a moment instead of dropping the datagram.
    for (int i = 0; i < SendWaitTries && sent == ws::SOCKET_ERROR && ws::WSAGetLastError() == ws::WSAEWOULDBLOCK;
         ++i) {
        if (ws::waitWritable(FSocket, SendWaitMs) <= 0)
            continue;
        sent = ws::sendto(FSocket, data.constData(), data.size(), to);
    }
    Fire(OnDataSend, this);
}

uint32_t TNMUDP::ResolveRemoteHost()
{
    for (int attempt = 0;; ++attempt) {
        const QString host = FRemoteHost;
        const uint32_t dotted = ws::inet_addr(host.toLatin1());
        if (dotted != ws::INADDR_NONE_)
            return dotted;
        uint32_t addr = 0;
        if (LookupHost(host, &addr))
            return addr;
        if (attempt > 0)
            throw UDPSockError(HostLookupCanceled);
        QPointer<TNMUDP> self(this);
        bool handled = false;
        Fire(OnInvalidHost, handled);
        if (!self)
            throw UDPSockError(HostLookupCanceled);
    }
}

bool TNMUDP::LookupHost(const QString &name, uint32_t *netAddr)
{
    auto lookup = std::make_shared<Lookup>();
    std::weak_ptr<Lookup> weak = lookup;
    lookup->handle = ws::WSAAsyncGetHostByName(name, [weak](int error, uint32_t addr) {
        if (auto l = weak.lock()) {
            l->done = true;
            l->error = error;
            l->addr = addr;
            if (l->loop)
                l->loop->quit();
        }
    });
    FLookups.push_back(lookup);

    QPointer<TNMUDP> self(this);
    QEventLoop loop;
    lookup->loop = &loop;
    // Events of every endpoint and of the user go on while the name is resolved.
    if (!lookup->done && !lookup->cancelled)
        loop.exec();
    lookup->loop = nullptr;
    if (!self)
        throw UDPSockError(HostLookupCanceled);
    FLookups.erase(std::remove(FLookups.begin(), FLookups.end(), lookup), FLookups.end());
    if (!lookup->done && !lookup->cancelled) {
        // The loop was ended from outside (the application is quitting).
        ws::WSACancelAsyncRequest(lookup->handle);
        lookup->cancelled = true;
    }
    if (lookup->cancelled)
        throw UDPSockError(HostLookupCanceled);
    if (lookup->error != 0)
        return false;
    *netAddr = lookup->addr;
    return true;
}

void TNMUDP::Cancel()
{
    for (const auto &lookup : FLookups) {
        if (lookup->done || lookup->cancelled)
            continue;
        ws::WSACancelAsyncRequest(lookup->handle);
        lookup->cancelled = true;
        if (lookup->loop)
            lookup->loop->quit();
    }
}

void TNMUDP::Status(int level, const QString &text)
{
    if (level <= FReportLevel)
        Fire(OnStatus, this, text);
}
