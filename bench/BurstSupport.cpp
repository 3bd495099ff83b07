#include "BurstSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "ProcessLimits.h"
#include "BenchSupport.h"

namespace bench {

namespace {

// Reads exactly size bytes within waitSeconds; false on a timeout or a closed pipe.
bool readWithin(int fd, void *buffer, size_t size, double waitSeconds)
{
    const auto start = Clock::now();
    size_t got = 0;
    while (got < size) {
        const int left = static_cast<int>((waitSeconds - secondsSince(start)) * 1000);
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            return false;
        const ssize_t r = ::read(fd, static_cast<char *>(buffer) + got, size - got);
        if (r <= 0)
            return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

// The child: connects count sockets at once when told, answers how many were established by
// the cap, holds them until told to go.
[[noreturn]] void runFleet(int port, int count, double capSeconds, int from, int to)
{
    RaiseOpenFileLimit();
    char c;
    if (::read(from, &c, 1) != 1)
        _exit(1);
    const sockaddr_in address = loopbackIn(port);
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> sockets;
    int established = 0;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0) {
            std::fprintf(stderr, "client %d: no socket: %s\n", i, std::strerror(errno));
            break;
        }
        sockets.push_back(s);
        if (::connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
            ++established;
            continue;
        }
        if (errno != EINPROGRESS) {
            std::fprintf(stderr, "client %d: connect: %s\n", i, std::strerror(errno));
            continue;
        }
        epoll_event e{};
        e.events = EPOLLOUT;
        e.data.fd = s;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, s, &e);
    }
    std::vector<epoll_event> ready(256);
    while (established < count && secondsSince(start) < capSeconds) {
        const int n = ::epoll_wait(epoll, ready.data(), static_cast<int>(ready.size()), 100);
        for (int i = 0; i < n; ++i) {
            const int s = ready[static_cast<size_t>(i)].data.fd;
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length);
            ::epoll_ctl(epoll, EPOLL_CTL_DEL, s, nullptr);
            if (error == 0)
                ++established;
            else
                std::fprintf(stderr, "a client's connect failed: %s\n", std::strerror(error));
        }
    }
    if (::write(to, &established, sizeof established) != sizeof established)
        _exit(1);
    ::read(from, &c, 1); // held until told, or until the parent is gone
    for (int s : sockets)
        ::close(s);
    _exit(0);
}

} // namespace

TClientFleet::TClientFleet(int port, int count, double capSeconds)
{
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    FChild = ::fork();
    if (FChild == 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        runFleet(port, count, capSeconds, toChild[0], fromChild[1]);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    FTo = toChild[1];
    FFrom = fromChild[0];
}

TClientFleet::~TClientFleet()
{
    ::close(FTo);
    ::close(FFrom);
    ::waitpid(FChild, nullptr, 0);
}

void TClientFleet::Start()
{
    if (::write(FTo, "g", 1) != 1) {
        std::perror("starting the clients");
        std::exit(1);
    }
}

int TClientFleet::Established(double waitSeconds)
{
    int established = -1;
    return readWithin(FFrom, &established, sizeof established, waitSeconds) ? established : -1;
}

TListenDrops TListenDrops::Now()
{
    TListenDrops d;
    std::ifstream in("/proc/net/netstat");
    std::string names, values;
    while (std::getline(in, names) && std::getline(in, values)) {
        if (names.rfind("TcpExt:", 0) != 0)
            continue;
        std::istringstream n(names), v(values);
        std::string name, value;
        while (n >> name && v >> value) {
            if (name == "ListenOverflows")
                d.Overflows = std::atoll(value.c_str());
            else if (name == "ListenDrops")
                d.Drops = std::atoll(value.c_str());
        }
    }
    return d;
}

int ListenBacklog(int port)
{
    const std::string command = "ss -Hltn 'sport = :" + std::to_string(port) + "' 2>/dev/null";
    FILE *p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    char state[32] = {};
    int queued = 0, backlog = -1;
    if (std::fscanf(p, "%31s %d %d", state, &queued, &backlog) != 3)
        backlog = -1;
    ::pclose(p);
    return backlog;
}

int AcceptBareBurst(int count, int backlog, double capSeconds, double &seconds, TListenDrops &dropped)
{
    const int listening = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopbackIn(0);
    socklen_t length = sizeof address;
    if (::bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listening, backlog) != 0
        || ::getsockname(listening, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("bare listener");
        std::exit(1);
    }
    std::vector<int> accepted;
    accepted.reserve(static_cast<size_t>(count));
    {
        TClientFleet fleet(ntohs(address.sin_port), count, capSeconds);
        const TListenDrops before = TListenDrops::Now();
        const auto start = Clock::now();
        fleet.Start();
        while (static_cast<int>(accepted.size()) < count && secondsSince(start) < capSeconds) {
            pollfd p{listening, POLLIN, 0};
            ::poll(&p, 1, 100);
            for (int s; (s = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
                accepted.push_back(s);
        }
        seconds = secondsSince(start);
        dropped = TListenDrops::Now() - before;
        fleet.Established(capSeconds + 10);
        for (int s : accepted)
            ::close(s);
    }
    ::close(listening);
    return static_cast<int>(accepted.size());
}

TXServer::TXServer()
{
    int shown[2];
    if (::pipe2(shown, O_CLOEXEC) != 0)
        return;
    FPid = ::fork();
    if (FPid == 0) {
        // Xvfb picks a free display itself and writes its number to the descriptor.
        const int fd = ::dup(shown[1]); // without close-on-exec
        const std::string displayFd = std::to_string(fd);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        ::execlp("Xvfb", "Xvfb", "-displayfd", displayFd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                 "tcp", static_cast<char *>(nullptr));
        _exit(127);
    }
    ::close(shown[1]);
    char number[16] = {};
    size_t got = 0;
    const auto start = Clock::now();
    while (got < sizeof number - 1 && secondsSince(start) < 15) {
        pollfd p{shown[0], POLLIN, 0};
        if (::poll(&p, 1, 500) <= 0)
            continue;
        const ssize_t r = ::read(shown[0], number + got, sizeof number - 1 - got);
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
        if (std::strchr(number, '\n'))
            break;
    }
    ::close(shown[0]);
    const int display = std::atoi(number);
    if (got == 0 || display < 0) {
        std::fprintf(stderr, "Xvfb did not start (is the xvfb package installed?)\n");
        return;
    }
    // Its socket, before anything connects.
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
    struct stat st{};
    while (::stat(socket.c_str(), &st) != 0 && secondsSince(start) < 15)
        ::poll(nullptr, 0, 20);
    FDisplay = ":" + std::to_string(display);
    ::setenv("DISPLAY", FDisplay.c_str(), 1);
}

TXServer::~TXServer()
{
    if (FPid <= 0)
        return;
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
}

} // namespace bench
