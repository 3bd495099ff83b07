#include "ReceiveCapture.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>

// Qt
#include <QByteArray>

// platform
#include "FileIo.h"

namespace {

// Small received blocks are gathered into pieces of up to this size: one write each.
constexpr qsizetype PieceSize = 1024 * 1024;
// Blocks of at least this size go to the worker as they are.
constexpr qsizetype SharedBlock = 64 * 1024;
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
    std::deque<QByteArray> queue;
    int64_t queued = 0; // bytes queued and not yet written
    bool closing = false;
    // Stopped for falling behind: the queue goes unwritten.
    bool cancelled = false;
    // The receiving side waits for room: told when the queue is down to half.
    bool waitingForRoom = false;
    // The last piece of the queue gathers small blocks (the worker has not taken it).
    bool gathering = false;
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
    bool WritePiece(const QByteArray &piece);
};

bool TReceiveCapture::Shared::WritePiece(const QByteArray &piece)
{
    for (qsizetype done = 0; done < piece.size();) {
        int error = 0;
        const long n = fileio::WriteSome(fd, piece.constData() + done, size_t(piece.size() - done), &error);
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
        QByteArray piece;
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
    std::deque<QByteArray> &queue = FShared->queue;
    if (bytes.size() >= SharedBlock && bytes.isDetached()) {
        // A large block of its own (a stream's read) is shared, not copied: a copy into fresh
        // memory costs a page fault every 4 KiB, more than the rest of a capture.
        queue.push_back(bytes);
    } else {
        // Copied: a datagram may lie in a buffer that is used again for the next one. Small
        // blocks are gathered, so that a write takes many.
        if (queue.empty() || !FShared->gathering || queue.back().size() + bytes.size() > PieceSize)
            queue.emplace_back();
        queue.back().append(bytes.constData(), bytes.size());
    }
    FShared->gathering = bytes.size() < SharedBlock;
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

