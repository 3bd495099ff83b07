#include "SelectReactor.h"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

// Qt
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include "AsyncSelect.h"

namespace ws {

namespace {

QPointer<TSelectReactor> reactor;

constexpr int MaxEventsPerDrain = 64;

// Readable and writable as the socket notifiers report them: a hang-up or an error wakes a
// reader (its read then tells what happened), an error wakes a writer.
constexpr uint32_t ReadEvents = EPOLLIN | EPOLLHUP | EPOLLERR;
constexpr uint32_t WriteEvents = EPOLLOUT | EPOLLERR;
// The peer shut its side or reset: asked for while nobody reads what waits.
constexpr uint32_t HangupEvents = EPOLLRDHUP | EPOLLHUP | EPOLLERR;

uint32_t pollNow(int fd)
{
    pollfd p{fd, POLLIN | POLLOUT | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) <= 0)
        return 0;
    uint32_t events = 0;
    if (p.revents & POLLIN)
        events |= EPOLLIN;
    if (p.revents & POLLOUT)
        events |= EPOLLOUT;
    if (p.revents & POLLHUP)
        events |= EPOLLHUP;
    if (p.revents & POLLRDHUP)
        events |= EPOLLRDHUP;
    if (p.revents & POLLERR)
        events |= EPOLLERR;
    return events;
}

} // namespace

TSelectReactor *TSelectReactor::Instance()
{
    if (!reactor && QCoreApplication::instance())
        reactor = new TSelectReactor;
    return reactor;
}

TSelectReactor *TSelectReactor::Existing()
{
    return reactor;
}

TSelectReactor::TSelectReactor() : QObject(QCoreApplication::instance())
{
    FEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (FEpoll < 0)
        qFatal("epoll_create1 failed");
    FNotifier = new QSocketNotifier(FEpoll, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TSelectReactor::Drain);
}

TSelectReactor::~TSelectReactor()
{
    delete FNotifier;
    ::close(FEpoll);
}

uint64_t TSelectReactor::Add(TAsyncSelect *select, int fd)
{
    const uint64_t key = FNextKey++;
    FEntries.insert(key, Entry{select, 0});
    // A number still in the set belongs to a socket closed without us (a copy of it lives on),
    // whose owner is still on record.
    if (FOwner.contains(fd))
        ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, fd, nullptr);
    FOwner.insert(fd, key);
    return key;
}

void TSelectReactor::Watch(uint64_t key, int fd, bool read, bool write, bool hangup)
{
    const auto entry = FEntries.find(key);
    if (entry == FEntries.end() || FOwner.value(fd) != key)
        return;
    const uint32_t events = (read ? uint32_t(EPOLLIN) : 0) | (write ? uint32_t(EPOLLOUT) : 0)
        | (hangup ? uint32_t(EPOLLRDHUP) : 0);
    if (entry->events == events)
        return;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = key;
    if (events == 0)
        ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, fd, nullptr);
    else if (entry->events == 0 && ::epoll_ctl(FEpoll, EPOLL_CTL_ADD, fd, &ev) != 0 && errno == EEXIST)
        ::epoll_ctl(FEpoll, EPOLL_CTL_MOD, fd, &ev);
    else if (entry->events != 0)
        ::epoll_ctl(FEpoll, EPOLL_CTL_MOD, fd, &ev);
    entry->events = events;
}

void TSelectReactor::Remove(uint64_t key, int fd)
{
    FEntries.remove(key);
    if (FOwner.value(fd) != key)
        return;
    FOwner.remove(fd);
    ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, fd, nullptr);
}

void TSelectReactor::Forget(int fd)
{
    const auto owner = FOwner.find(fd);
    if (owner == FOwner.end())
        return;
    ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, fd, nullptr);
    // The select stays known, watching nothing, until it goes.
    const auto entry = FEntries.find(*owner);
    if (entry != FEntries.end())
        entry->events = 0;
    FOwner.erase(owner);
}

void TSelectReactor::Drain()
{
    epoll_event events[MaxEventsPerDrain];
    const int n = ::epoll_wait(FEpoll, events, MaxEventsPerDrain, 0);
    const uint64_t drain = ++FDrains;
    QPointer<TSelectReactor> self(this);
    for (int i = 0; i < n; ++i) {
        const uint64_t key = events[i].data.u64;
        uint32_t ready = events[i].events;
        for (const TAsyncSelect::Ready which : {TAsyncSelect::Readable, TAsyncSelect::Writable, TAsyncSelect::HungUp}) {
            // A handler may have closed or freed any select, this one included, or run an event
            // loop that handled what was ready.
            if (!self)
                return;
            const auto entry = FEntries.constFind(key);
            if (entry == FEntries.constEnd())
                break;
            TAsyncSelect *select = entry->select;
            if (FDrains != drain)
                ready = pollNow(select->socket());
            bool wanted = false;
            switch (which) {
            case TAsyncSelect::Readable: wanted = (ready & ReadEvents) && select->readEnabled(); break;
            case TAsyncSelect::Writable: wanted = (ready & WriteEvents) && select->writeEnabled(); break;
            // Only while reads are off: a reader learns of the hang-up from its read.
            case TAsyncSelect::HungUp:
                wanted = (ready & HangupEvents) && select->hangupEnabled() && !select->readEnabled();
                break;
            }
            if (wanted)
                select->Notify(which);
        }
    }
}

} // namespace ws
