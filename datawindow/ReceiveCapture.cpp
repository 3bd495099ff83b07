#include "ReceiveCapture.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

// Qt
#include <QByteArray>

// platform
#include "FileIo.h"

namespace {

// Received blocks are copied into pieces of this size, one write each. Pieces the worker has
// written are used again: memory a capture has touched once costs nothing the next time, where
// fresh memory for every block (or holding the receiving side's blocks while they wait, so that
// it cannot use its memory again) costs a page fault every 4 KiB, more than the rest of a capture.
constexpr size_t PieceSize = 1024 * 1024;
// Written pieces kept for use again: enough for a full queue.
constexpr size_t SparePieces = size_t(TReceiveCapture::QueueLimit) / PieceSize + 2;
// A capture turned off writes on into a FIFO or device while it takes something this often.
constexpr int ClosingPatienceMs = 3000;

QString refusal(fileio::Kind kind)
{
    switch (kind) {
    case fileio::Kind::Directory: return QStringLiteral("这是一个目录");
    case fileio::Kind::BlockDevice: return QStringLiteral("这是一个块设备，不往里写接收的数据");
    default: return QStringLiteral("这不是可以写入的文件");
    }
}

} // namespace

struct TReceiveCapture::Shared : std::enable_shared_from_this<TReceiveCapture::Shared> {
    int fd = -1;
    fileio::Waker waker;
    std::mutex lock;
    std::condition_variable more;
    using Piece = std::vector<char>;
    std::deque<Piece> queue;
    // Written pieces, their memory kept.
    std::vector<Piece> spare;
    int64_t queued = 0; // bytes queued and not yet written
    bool closing = false;
    // Stopped for falling behind: the queue goes unwritten.
    bool cancelled = false;
    // The receiving side waits for room: told when the queue is down to half.
    bool waitingForRoom = false;
    // The system's reason when a write failed.
    QString failure;
    std::atomic<bool> stopped{false};
    std::atomic<int64_t> written{0};
    // On the user interface thread only.
    Stopped onStopped;
    Drained onDrained;
    QString reason;

    static void Run(const std::shared_ptr<Shared> &self);
    // Writes one piece whole; false when the capture stops there.
    bool WritePiece(const Piece &piece);
};

bool TReceiveCapture::Shared::WritePiece(const Piece &piece)
{
    for (size_t done = 0; done < piece.size();) {
        int error = 0;
        const long n = fileio::WriteSome(fd, piece.data() + done, piece.size() - done, &error);
        if (n > 0) {
            done += n;
            written += n;
            std::lock_guard<std::mutex> hold(lock);
            queued -= n;
            if (waitingForRoom && queued <= QueueLimit / 2) {
                waitingForRoom = false;
                fileio::PostToApplication([self = weak_from_this()] {
                    const std::shared_ptr<Shared> shared = self.lock();
                    const Drained call = shared ? shared->onDrained : nullptr;
                    if (call)
                        call();
                });
            }
            continue;
        }
        bool ending;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (n < 0 && error != EAGAIN) {
                failure = fileio::ErrorText(error);
                return false;
            }
            if (cancelled)
                return false;
            ending = closing;
        }
        // Turned off, or its window gone: a FIFO or device still gets what was received, as long
        // as it takes some now and then.
        if (fileio::WaitReady(fd, true, waker, ending ? ClosingPatienceMs : -1) == fileio::Wait::TimedOut)
            return false;
    }
    return true;
}

void TReceiveCapture::Shared::Run(const std::shared_ptr<Shared> &self)
{
    for (;;) {
        Piece piece;
        {
            std::unique_lock<std::mutex> hold(self->lock);
            self->more.wait(hold, [&] { return !self->queue.empty() || self->closing || self->cancelled; });
            if (self->cancelled || self->queue.empty())
                break;
            piece = std::move(self->queue.front());
            self->queue.pop_front();
        }
        if (!self->WritePiece(piece))
            break;
        piece.clear();
        std::lock_guard<std::mutex> hold(self->lock);
        if (self->spare.size() < SparePieces)
            self->spare.push_back(std::move(piece));
    }
    fileio::Close(self->fd);
    self->fd = -1;
    bool failed, cancelled;
    {
        std::lock_guard<std::mutex> hold(self->lock);
        failed = !self->failure.isEmpty();
        cancelled = self->cancelled;
    }
    // A failed write stops the capture here; one that fell behind was stopped by the receiving side.
    // A copy is called: the call may end the capture, and its call with it.
    const auto tell = [self] {
        const Stopped call = self->onStopped;
        if (call)
            call(self->reason, self->written);
    };
    if (failed && !self->stopped.exchange(true))
        fileio::PostToApplication([self, tell] {
            self->reason = self->failure;
            tell();
        });
    else if (cancelled)
        fileio::PostToApplication(tell);
}

std::unique_ptr<TReceiveCapture> TReceiveCapture::Open(const QString &path, bool replace, Stopped stopped,
                                                       Drained drained, QString *reason)
{
    const fileio::Opened file = fileio::OpenToWrite(path, replace);
    if (file.fd < 0) {
        // Said plainly: the system's text for this one is "No such device or address".
        *reason = file.error == ENXIO ? QStringLiteral("没有程序在读取这个管道（FIFO）")
                                      : fileio::ErrorText(file.error);
        return nullptr;
    }
    if (file.kind == fileio::Kind::Directory || file.kind == fileio::Kind::BlockDevice
        || file.kind == fileio::Kind::Socket || file.kind == fileio::Kind::Other) {
        fileio::Close(file.fd);
        *reason = refusal(file.kind);
        return nullptr;
    }
    std::unique_ptr<TReceiveCapture> capture(new TReceiveCapture);
    capture->FPath = path;
    capture->FShared = std::make_shared<Shared>();
    capture->FShared->fd = file.fd;
    capture->FShared->onStopped = std::move(stopped);
    capture->FShared->onDrained = std::move(drained);
    fileio::StartWorker([shared = capture->FShared] { Shared::Run(shared); });
    return capture;
}

TReceiveCapture::~TReceiveCapture()
{
    FShared->onStopped = nullptr;
    FShared->onDrained = nullptr;
    std::lock_guard<std::mutex> hold(FShared->lock);
    FShared->closing = true;
    FShared->more.notify_one();
    FShared->waker.Wake();
}

bool TReceiveCapture::Write(const QByteArray &bytes)
{
    if (FShared->stopped)
        return false;
    if (bytes.isEmpty())
        return true;
    std::lock_guard<std::mutex> hold(FShared->lock);
    Shared &shared = *FShared;
    // Copied: the receiving side uses its memory again at once, and a datagram may lie in a buffer
    // that is used again for the next one. The last piece is filled before the next one is begun.
    for (qsizetype from = 0; from < bytes.size();) {
        if (shared.queue.empty() || shared.queue.back().size() >= PieceSize) {
            if (shared.spare.empty()) {
                shared.queue.emplace_back();
                shared.queue.back().reserve(PieceSize);
            } else {
                shared.queue.push_back(std::move(shared.spare.back()));
                shared.spare.pop_back();
            }
        }
        Shared::Piece &piece = shared.queue.back();
        const size_t n = std::min(PieceSize - piece.size(), size_t(bytes.size() - from));
        piece.insert(piece.end(), bytes.constData() + from, bytes.constData() + from + n);
        from += qsizetype(n);
    }
    FShared->queued += bytes.size();
    FShared->more.notify_one();
    return true;
}

bool TReceiveCapture::Full()
{
    std::lock_guard<std::mutex> hold(FShared->lock);
    FShared->waitingForRoom = FShared->queued >= QueueLimit;
    return FShared->waitingForRoom;
}

void TReceiveCapture::FallBehind(const QString &reason)
{
    if (FShared->stopped.exchange(true))
        return;
    FShared->reason = reason;
    std::lock_guard<std::mutex> hold(FShared->lock);
    FShared->cancelled = true;
    FShared->more.notify_one();
    FShared->waker.Wake();
}

bool TReceiveCapture::HasStopped() const
{
    return FShared->stopped;
}

int64_t TReceiveCapture::Written() const
{
    return FShared->written;
}

int64_t TReceiveCapture::Queued() const
{
    std::lock_guard<std::mutex> hold(FShared->lock);
    return FShared->queued;
}

