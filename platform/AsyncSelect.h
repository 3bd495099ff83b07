#pragma once
// Readiness of one socket delivered on the UI thread, in place of WSAAsyncSelect's window
// messages. Level-triggered: a notification repeats while the socket stays ready.
// While the handler runs, this socket's notifications are off, so a handler that opens a modal
// box (a nested event loop) is never re-entered for the same socket.

#include <cstdint>
#include <functional>

// Qt
#include <QObject>
#include <QPointer>

#include "WinSock.h"

namespace ws {

class TSelectReactor;

class TAsyncSelect : public QObject {
    Q_OBJECT
public:
    // HungUp: the peer shut its side of the connection or reset it.
    enum Ready { Readable = 1, Writable = 2, HungUp = 4 };
    using Handler = std::function<void(Ready)>;

    // Switches the socket to non-blocking mode; no notification until enabled.
    TAsyncSelect(TSocket s, Handler handler, QObject *parent = nullptr);
    ~TAsyncSelect() override;

    TSocket socket() const { return FSocket; }
    void setReadEnabled(bool on);
    void setWriteEnabled(bool on);
    // The peer's hang-up, reported only while reads are off (data waits that nobody reads).
    void setHangupEnabled(bool on);
    bool readEnabled() const { return FWantRead; }
    bool writeEnabled() const { return FWantWrite; }
    bool hangupEnabled() const { return FWantHangup; }
    bool inHandler() const { return FInHandler; }

private:
    friend class TSelectReactor;
    // Called by the reactor when the socket is ready and that readiness is wanted.
    void Notify(Ready which);
    void apply();

    TSocket FSocket;
    Handler FHandler;
    uint64_t FKey = 0;
    bool FWantRead = false;
    bool FWantWrite = false;
    bool FWantHangup = false;
    bool FInHandler = false;
    // Readiness arrived while the handler ran (it runs an event loop): the socket is unwatched
    // until the handler returns. Unwatching only then spares two system calls per notification.
    bool FSuppressed = false;
};

} // namespace ws
