#pragma once
// Every received block's bytes appended to a file, exactly as they arrived: binary, in order,
// nothing added. A data window keeps one while the user has "接收到文件" on.
//
// The file is written by a worker of its own behind a bounded queue, never by the thread that
// receives: a FIFO whose reader stops reading, a full pipe to a slow program or a slow disk would
// otherwise stand the whole program still (a FIFO's open alone waits for a reader). While the
// queue is full (QueueLimit) a stream's reads wait for room, so the peer slows down and nothing is
// lost; datagrams cannot wait, and a capture that falls behind them, or whose file takes nothing
// for a while, stops, as one whose write fails does. Nothing else stops with it.

#include <cstdint>
#include <functional>
#include <memory>

// Qt
#include <QString>

class QByteArray;

class TReceiveCapture {
public:
    // Bytes waiting for the worker, at most: beyond this the capture has fallen behind.
    static constexpr int64_t QueueLimit = 64 * 1024 * 1024;

    // Called on the user interface thread when the capture stopped by itself: a failed write
    // (the system's reason), or falling behind; with the bytes that reached the file.
    using Stopped = std::function<void(const QString &reason, int64_t written)>;
    // Called on the user interface thread when a full queue has room again (half of it).
    using Drained = std::function<void()>;

    // Opens (creating) the file, appended to or replaced, and starts its worker; null with the
    // reason when it cannot: a FIFO nobody reads, a directory, a block device, the system's refusal.
    // Opening never waits for the file.
    static std::unique_ptr<TReceiveCapture> Open(const QString &path, bool replace, Stopped stopped,
                                                 Drained drained, QString *reason);
    // Stops the capture: what was queued still goes into the file (as far as a FIFO or device takes
    // it without waiting), then the worker closes it. Never waits for the file.
    ~TReceiveCapture();
    TReceiveCapture(const TReceiveCapture &) = delete;
    TReceiveCapture &operator=(const TReceiveCapture &) = delete;

    // Queues the bytes for the file; false once the capture has stopped by itself.
    bool Write(const QByteArray &bytes);
    // The queue holds QueueLimit bytes or more: Drained is called once it has room again.
    bool Full();
    // Stops the capture for falling behind: what is queued goes unwritten; Stopped is called with
    // the reason once the worker has ended.
    void FallBehind(const QString &reason);
    const QString &Path() const { return FPath; }
    // The capture stopped by itself (its Stopped call may still be on its way).
    bool HasStopped() const;
    // Bytes in the file so far, and bytes waiting for the worker.
    int64_t Written() const;
    int64_t Queued() const;

    struct Shared;

private:
    TReceiveCapture() = default;
    QString FPath;
    std::shared_ptr<Shared> FShared;
};
