#pragma once
// One epoll set for every socket of the UI thread, watched by a single notifier. The event loop
// then polls one descriptor each turn however many sockets are open; with a notifier per socket
// every turn of the loop walked all of them, so a server with a thousand connections paid for
// the thousand on every timer, paint and posted event.
// Level-triggered, like the notifiers it replaces. Used by TAsyncSelect only.

#include <cstdint>

// Qt
#include <QHash>
#include <QObject>

class QSocketNotifier;

namespace ws {

class TAsyncSelect;

class TSelectReactor : public QObject {
public:
    // The reactor of the application, made on first use and destroyed with the application;
    // null when there is no application.
    static TSelectReactor *Instance();
    // The reactor if one was made and still lives; never makes one.
    static TSelectReactor *Existing();

    // Registers the select for its socket, interested in nothing yet; returns its key.
    uint64_t Add(TAsyncSelect *select, int fd);
    // Interest in readability, writability and the peer's hang-up; epoll is told only when the
    // interest changes. A descriptor wanted for nothing leaves the set: epoll reports a hang-up
    // or an error whatever it is asked for, and would wake the loop for it on every turn.
    void Watch(uint64_t key, int fd, bool read, bool write, bool hangup = false);
    void Remove(uint64_t key, int fd);
    // The descriptor is about to be closed: its registration goes first. Closing alone leaves it
    // in the set while any copy of the descriptor lives, reporting a socket nobody owns.
    void Forget(int fd);

    ~TSelectReactor() override;

private:
    TSelectReactor();
    void Drain();

    struct Entry {
        TAsyncSelect *select;
        uint32_t events; // what epoll watches for now; 0: not in the set
    };
    int FEpoll = -1;
    QSocketNotifier *FNotifier = nullptr;
    QHash<uint64_t, Entry> FEntries;
    // The key registered for each descriptor number: a descriptor closed and reused for a new
    // socket must not be changed or removed on behalf of the old one.
    QHash<int, uint64_t> FOwner;
    uint64_t FNextKey = 1;
    // Counts the drains; a drain that sees it move knows a nested event loop ran a drain of its
    // own, and asks the descriptors again before it reports them.
    uint64_t FDrains = 0;
};

} // namespace ws
