#pragma once
// Files the user chooses (a capture to write, a file to send), opened and moved through so that
// the thread that asks never waits on them: a FIFO opened for writing waits for a reader, and for
// reading waits for a writer, when opened the usual way; a FIFO or a device whose reader stops
// reading blocks a write for ever; a slow disk blocks every call. So files open non-blocking and
// the reads and writes run on a worker of their own, which waits for readiness together with a
// wake-up descriptor, so that whoever stops it never waits for the file either.

#include <cstddef>
#include <cstdint>
#include <functional>

// Qt
#include <QString>

namespace fileio {

enum class Kind { Regular, Fifo, CharDevice, BlockDevice, Directory, Socket, Other };

struct Opened {
    int fd = -1;          // -1 when it did not open
    Kind kind = Kind::Other;
    int64_t size = 0;     // what the system says a regular file holds (a claim: /sys files say 4096)
    int error = 0;        // errno when it did not open
};

// Opens a file to write into, created when missing, appended to or (replace) emptied first. A FIFO
// that nobody reads fails with ENXIO at once instead of waiting; a directory with EISDIR.
Opened OpenToWrite(const QString &path, bool replace);
// Opens a file to read from. A FIFO without a writer opens at once.
Opened OpenToRead(const QString &path);
void Close(int fd);

// Runs work on a thread of its own, counted until it ends: the workers that read and write the
// files of the user. The end of the program waits for them (WaitForWorkers), so that what a capture
// or a save still held reaches its file.
void StartWorker(std::function<void()> work);
int RunningWorkers();
// Blocks until every worker has ended, at most timeoutMs; true when all have.
bool WaitForWorkers(int timeoutMs);

// A write into a FIFO or pipe whose reader went fails with EPIPE on the calling thread instead of
// ending the program (SIGPIPE, blocked for this thread). For every worker that writes files.
void BlockBrokenPipeSignal();

// Hands a call to the user interface thread, from a worker, as long as the application lives
// (a worker may outlast it); an empty call only wakes a wait for events there.
void PostToApplication(std::function<void()> call);

// The system's text for an errno.
QString ErrorText(int error);

// A descriptor that wakes a worker waiting in WaitReady (an eventfd).
class Waker {
public:
    Waker();
    ~Waker();
    Waker(const Waker &) = delete;
    Waker &operator=(const Waker &) = delete;
    void Wake();
    int Fd() const { return FFd; }

private:
    int FFd = -1;
};

// Waits until fd can be written (or read), the waker is woken (which it takes back) or timeoutMs
// passes (-1: no limit).
enum class Wait { Ready, Woken, TimedOut };
Wait WaitReady(int fd, bool write, const Waker &waker, int timeoutMs = -1);
// Waits until fd can be written, at most timeoutMs; false when the time ran out.
bool WaitWritable(int fd, int timeoutMs);

// One write or read of what the file takes or has now: the count (0 at the end of a read), -1 with
// *error set, and -1 with *error EAGAIN when it would block. EINTR is retried.
long WriteSome(int fd, const char *bytes, size_t n, int *error);
long ReadSome(int fd, char *bytes, size_t n, int *error);

} // namespace fileio
