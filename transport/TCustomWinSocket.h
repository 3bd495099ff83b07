#pragma once
// One TCP socket object: its handle, the connected flag, the address it binds or connects to, the
// user tag, and the readiness of its handle turned into socket events. The listening object, an
// accepted connection and a client's connection derive from it.
//
// Lifetime: an owner never deletes a socket object, it calls Release(). An object that is inside
// one of its own notifications (a handler may run a nested event loop, close the object, or free
// its owner) is freed only once that notification has returned.

#include <cstdint>

// Qt
#include <QByteArray>
#include <QObject>
#include <QString>

// platform
#include "WinSock.h"

#include "SocketEvents.h"

namespace ws {
class TAsyncSelect;
}

class TCustomWinSocket : public QObject {
    Q_OBJECT
public:
    explicit TCustomWinSocket(QObject *parent = nullptr);
    ~TCustomWinSocket() override;

    ws::TSocket SocketHandle() const { return FSocket; }
    bool Connected() const { return FConnected; }

    // The user tag: the workbench keeps its socket instance here.
    void *Data = nullptr;
    // Set by whoever drives this object; Sender is this object.
    TSocketEventEvent OnSocketEvent;
    TSocketErrorEvent OnErrorEvent;

    // Disconnect event first, then the handle is closed. Does nothing on a closed object, so a
    // second close raises no second disconnect event.
    void Close();
    // Every byte waiting now; empty when none or not connected.
    QByteArray ReceiveAll();
    // A read handler that leaves the data unread holds the reads: no read event comes until
    // ReceiveAll, or until this lets the next one come (the peer's close or reset is reported
    // meanwhile all the same). A receiver that cannot take more yet holds them, and the peer's
    // sending slows by the protocol's own flow control.
    void ReleaseHeldReads();
    // The whole string in one send: bytes taken (possibly fewer), -1 if it would block (nothing
    // taken), 0 if not connected.
    int SendBytes(const QByteArray &bytes);

    // Dotted peer address, empty when not connected.
    QString RemoteAddress() const;
    // Peer port, 0 when not connected.
    int RemotePort() const;
    // Port the handle is bound to; -1 without a handle or before it is bound.
    int LocalPort() const;
    // Dotted address the handle is bound to; empty without a handle.
    QString LocalAddress() const;

    // The owner lets go: links cut, handle closed without events; freed now, or when the
    // notification it is inside of returns.
    void Release();

protected:
    // Marks the object as being inside a call that raises events; while any is active the object
    // is not freed.
    class TBusy {
    public:
        explicit TBusy(TCustomWinSocket *s);
        ~TBusy();
        TBusy(const TBusy &) = delete;
        TBusy &operator=(const TBusy &) = delete;

    private:
        TCustomWinSocket *FSocket;
    };

    bool event(QEvent *e) override;

    // Takes a new handle (any earlier one is closed without events); notifications stay off.
    void SetHandle(ws::TSocket s);
    // Closes the handle without events, clears the address, marks the object not connected.
    void DropHandle();
    void Select(bool read, bool write);
    void SelectRead(bool on);
    // Reads on again, if h is still this object's open connection.
    void ResumeReads(ws::TSocket h);
    void SelectWrite(bool on);
    void CancelLookup();

    void Event(TSocketEvent socketEvent);
    void Error(TErrorEvent errorEvent, int &errorCode);
    // Close of one handle (the object's own for Close, the notified one for a peer's close).
    void DoClose(ws::TSocket which);
    // A failed recv/send: error event, close with its disconnect event, then the error unless the
    // handler cleared the code.
    void ReadWriteFailed(ws::TSocket which, TErrorEvent errorEvent, int code, const char *api);
    // An error carried by a notification: error event, the notification is dropped, then the
    // error unless the handler cleared the code.
    void NotificationError(TErrorEvent errorEvent, int code);

    virtual void ReadReady();
    virtual void WriteReady();
    // The peer shut its side or reset while reads were held.
    void HungUp();
    // Right after the disconnect event, before the handle is closed.
    virtual void Disconnected() {}
    // Cuts what this object owns in turn when released (accepted connections of a listener).
    virtual void ReleaseOwned() {}
    // The deferred free: runs when no notification of this object is on the stack.
    virtual void FreeNow();
    void PostFree();

    ws::TSocket FSocket = ws::INVALID_SOCKET;
    bool FConnected = false;
    ws::TSockAddrIn FAddr;
    int FLookupHandle = 0;
    bool FReleased = false;

private:
    void Ready(int which);

    ws::TAsyncSelect *FSelect = nullptr;
    bool FClosing = false;
    bool FWantWrite = false;
    // Read readiness is level-triggered: a read event whose handler does not receive would come
    // back at once. As on the original platform, it comes back only after the next receive.
    bool FReadTaken = false;
    bool FReadHeld = false;
    // A byte taken while telling data from a peer's close; handed out first by ReceiveAll.
    QByteArray FStash;
    int FBusy = 0;
    bool FFreePending = false;
};
