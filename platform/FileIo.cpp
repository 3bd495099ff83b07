#include "FileIo.h"

#include <cerrno>
#include <cstring>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Qt
#include <QCoreApplication>
#include <QMetaObject>

namespace fileio {

namespace {

Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISFIFO(mode))
        return Kind::Fifo;
    if (S_ISCHR(mode))
        return Kind::CharDevice;
    if (S_ISBLK(mode))
        return Kind::BlockDevice;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    return Kind::Other;
}

Opened open(const QString &path, int flags)
{
    Opened result;
    const QByteArray name = path.toLocal8Bit();
    int fd;
    do
        fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.error = errno;
        ::close(fd);
        return result;
    }
    result.fd = fd;
    result.kind = kindOf(st.st_mode);
    result.size = int64_t(st.st_size);
    return result;
}

} // namespace

Opened OpenToWrite(const QString &path, bool replace)
{
    return open(path, O_WRONLY | O_CREAT | (replace ? O_TRUNC : O_APPEND));
}

Opened OpenToRead(const QString &path)
{
    return open(path, O_RDONLY);
}

void Close(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

namespace {
std::mutex workersLock;
std::condition_variable workersChanged;
int workers = 0;
} // namespace

void StartWorker(std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> hold(workersLock);
        ++workers;
    }
    std::thread([work = std::move(work)] {
        BlockBrokenPipeSignal();
        work();
        std::lock_guard<std::mutex> hold(workersLock);
        --workers;
        workersChanged.notify_all();
    }).detach();
}

int RunningWorkers()
{
    std::lock_guard<std::mutex> hold(workersLock);
    return workers;
}

bool WaitForWorkers(int timeoutMs)
{
    std::unique_lock<std::mutex> hold(workersLock);
    return workersChanged.wait_for(hold, std::chrono::milliseconds(timeoutMs), [] { return workers == 0; });
}

void BlockBrokenPipeSignal()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

namespace {
std::mutex postLock;
bool applicationGone = false;

void forgetApplication()
{
    std::lock_guard<std::mutex> hold(postLock);
    applicationGone = true;
}
} // namespace

void PostToApplication(std::function<void()> call)
{
    std::lock_guard<std::mutex> hold(postLock);
    QCoreApplication *app = QCoreApplication::instance();
    if (applicationGone || !app)
        return;
    // Registered by the first worker, which starts on the user interface thread's behalf while the
    // application runs; called as the application object goes.
    static const bool registered = [] {
        qAddPostRoutine(forgetApplication);
        return true;
    }();
    (void)registered;
    QMetaObject::invokeMethod(app, call ? std::move(call) : std::function<void()>([] {}), Qt::QueuedConnection);
}

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Waker::Waker() : FFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Waker::~Waker()
{
    if (FFd >= 0)
        ::close(FFd);
}

void Waker::Wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FFd, &one, sizeof one);
}

Wait WaitReady(int fd, bool write, const Waker &waker, int timeoutMs)
{
    pollfd fds[2] = {{fd, short(write ? POLLOUT : POLLIN), 0}, {waker.Fd(), POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return Wait::TimedOut;
        if (n > 0 && (fds[1].revents & POLLIN)) {
            uint64_t count;
            [[maybe_unused]] const ssize_t taken = ::read(waker.Fd(), &count, sizeof count);
            return Wait::Woken;
        }
        // An error or hang-up on the file shows at the next write or read.
        return Wait::Ready;
    }
}

bool WaitWritable(int fd, int timeoutMs)
{
    pollfd one = {fd, POLLOUT, 0};
    for (;;) {
        const int n = ::poll(&one, 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        return n != 0;
    }
}

long WriteSome(int fd, const char *bytes, size_t n, int *error)
{
    for (;;) {
        const ssize_t done = ::write(fd, bytes, n);
        if (done >= 0)
            return long(done);
        if (errno == EINTR)
            continue;
        *error = errno == EWOULDBLOCK ? EAGAIN : errno;
        return -1;
    }
}

long ReadSome(int fd, char *bytes, size_t n, int *error)
{
    for (;;) {
        const ssize_t done = ::read(fd, bytes, n);
        if (done >= 0)
            return long(done);
        if (errno == EINTR)
            continue;
        *error = errno == EWOULDBLOCK ? EAGAIN : errno;
        return -1;
    }
}

} // namespace fileio
