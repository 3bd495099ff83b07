#include "TCustomWinSocket.h"

// Qt
#include <QCoreApplication>
#include <QEvent>

// platform
#include "AsyncSelect.h"
#include "HostLookup.h"

#include "ESocketError.h"
#include "TAtExit.h"

namespace {

QEvent::Type freeEventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace

TCustomWinSocket::TBusy::TBusy(TCustomWinSocket *s) : FSocket(s)
{
    ++FSocket->FBusy;
}

TCustomWinSocket::TBusy::~TBusy()
{
    if (--FSocket->FBusy == 0 && FSocket->FFreePending)
        FSocket->PostFree();
}

TCustomWinSocket::TCustomWinSocket(QObject *parent) : QObject(parent)
{
    if (ws::WSAStartup() != 0)
        throw ESocketError::WindowsError(ws::WSAGetLastError(), "WSAStartup");
}

TCustomWinSocket::~TCustomWinSocket()
{
    CancelLookup();
    if (FSocket != ws::INVALID_SOCKET)
        ws::closesocket(FSocket);
    ws::WSACleanup();
}

void TCustomWinSocket::Release()
{
    FReleased = true;
    OnSocketEvent = nullptr;
    OnErrorEvent = nullptr;
    ReleaseOwned();
    DropHandle();
    if (FBusy == 0)
        delete this;
    else
        FFreePending = true;
}

void TCustomWinSocket::PostFree()
{
    QCoreApplication::postEvent(this, new QEvent(freeEventType()));
}

bool TCustomWinSocket::event(QEvent *e)
{
    if (e->type() == freeEventType()) {
        if (FBusy > 0)
            FFreePending = true; // posted again when the notification on the stack returns
        else
            FreeNow();
        return true;
    }
    return QObject::event(e);
}

void TCustomWinSocket::FreeNow()
{
    delete this;
}

// ---- handle and notifications --------------------------------------------------------------

void TCustomWinSocket::SetHandle(ws::TSocket s)
{
    DropHandle();
    FSocket = s;
    FSelect = new ws::TAsyncSelect(s, [this](ws::TAsyncSelect::Ready which) { Ready(which); }, this);
}

void TCustomWinSocket::DropHandle()
{
    CancelLookup();
    if (FSelect) {
        // Off before the descriptor is closed: its number may be reused at once. The notifier
        // may be the caller further up the stack, so it goes later.
        FSelect->setReadEnabled(false);
        FSelect->setWriteEnabled(false);
        FSelect->setHangupEnabled(false);
        FSelect->deleteLater();
        FSelect = nullptr;
    }
    if (FSocket != ws::INVALID_SOCKET)
        ws::closesocket(FSocket);
    FSocket = ws::INVALID_SOCKET;
    FConnected = false;
    FAddr = ws::TSockAddrIn{};
    FClosing = false;
    FWantWrite = false;
    FReadHeld = false;
    FStash.clear();
}

void TCustomWinSocket::Select(bool read, bool write)
{
    FWantWrite = write;
    if (FSelect) {
        FSelect->setReadEnabled(read && !FReadHeld);
        FSelect->setWriteEnabled(write);
    }
}

void TCustomWinSocket::SelectRead(bool on)
{
    if (FSelect)
        FSelect->setReadEnabled(on && !FReadHeld);
}

void TCustomWinSocket::ResumeReads(ws::TSocket h)
{
    if (FSocket == h && FConnected && !FClosing && !FReleased)
        SelectRead(true);
}

void TCustomWinSocket::SelectWrite(bool on)
{
    FWantWrite = on;
    if (FSelect)
        FSelect->setWriteEnabled(on);
}

void TCustomWinSocket::CancelLookup()
{
    if (FLookupHandle) {
        ws::WSACancelAsyncRequest(FLookupHandle);
        FLookupHandle = 0;
    }
}

void TCustomWinSocket::Ready(int which)
{
    TBusy busy(this);
    if (FReleased)
        return;
    if (which == ws::TAsyncSelect::Readable)
        ReadReady();
    else if (which == ws::TAsyncSelect::Writable)
        WriteReady();
    else
        HungUp();
}

// ---- events ----------------------------------------------------------------------------------

void TCustomWinSocket::Event(TSocketEvent socketEvent)
{
    // A copy: the handler may replace or free what holds it.
    if (TSocketEventEvent handler = OnSocketEvent)
        handler(this, this, socketEvent);
}

void TCustomWinSocket::Error(TErrorEvent errorEvent, int &errorCode)
{
    if (TSocketErrorEvent handler = OnErrorEvent)
        handler(this, this, errorEvent, errorCode);
}

void TCustomWinSocket::Close()
{
    DoClose(FSocket);
}

void TCustomWinSocket::DoClose(ws::TSocket which)
{
    TBusy busy(this);
    CancelLookup();
    if (which == ws::INVALID_SOCKET || which != FSocket || FClosing)
        return;
    // The handle stays open through the disconnect event (handlers still query the peer), but
    // nothing more is reported for it, and a close from inside the event does nothing.
    FClosing = true;
    if (FSelect) {
        FSelect->setReadEnabled(false);
        FSelect->setWriteEnabled(false);
        FSelect->setHangupEnabled(false);
    }
    Event(seDisconnect);
    Disconnected();
    // A handler may have released the object or opened a new handle meanwhile.
    if (FSocket == which)
        DropHandle();
}

void TCustomWinSocket::ReadWriteFailed(ws::TSocket which, TErrorEvent errorEvent, int code, const char *api)
{
    Error(errorEvent, code);
    DoClose(which);
    if (code != 0)
        throw ESocketError::WindowsError(code, api);
}

void TCustomWinSocket::NotificationError(TErrorEvent errorEvent, int code)
{
    Error(errorEvent, code);
    if (code != 0)
        throw ESocketError::AsyncError(code);
}

// ---- reading ---------------------------------------------------------------------------------

void TCustomWinSocket::ReadReady()
{
    if (!FConnected || FClosing)
        return;
    const ws::TSocket h = FSocket;
    if (FStash.isEmpty()) {
        int waiting = 0;
        if (ws::bytesAvailable(h, &waiting) == ws::SOCKET_ERROR) {
            ReadWriteFailed(h, eeReceive, ws::WSAGetLastError(), "recv");
            return;
        }
        if (waiting == 0) {
            // Readable with nothing queued: the peer closed (recv gives 0) or reset (recv fails).
            // A peek would not do: on Linux it consumes the pending reset and shows a plain close.
            char byte = 0;
            const int got = ws::recv(h, &byte, 1);
            if (got == 0) {
                DoClose(h);
                return;
            }
            if (got == ws::SOCKET_ERROR) {
                const int code = ws::WSAGetLastError();
                if (code != ws::WSAEWOULDBLOCK)
                    ReadWriteFailed(h, eeReceive, code, "recv");
                return;
            }
            FStash.append(byte); // data arrived in between
        }
    }
    FReadTaken = false;
    TAtExit holdUnread([this, h] {
        if (FSocket == h && FConnected && !FClosing && !FReadTaken && !FReleased) {
            FReadHeld = true;
            if (FSelect) {
                FSelect->setReadEnabled(false);
                FSelect->setHangupEnabled(true);
            }
        }
    });
    Event(seRead);
}

void TCustomWinSocket::ReleaseHeldReads()
{
    if (!FReadHeld)
        return;
    FReadHeld = false;
    if (FSelect && FConnected && !FClosing) {
        FSelect->setHangupEnabled(false);
        FSelect->setReadEnabled(true);
    }
}

void TCustomWinSocket::HungUp()
{
    // Reads are held (the last read event's handler left its data unread) and the peer has shut
    // its side or reset: the close is reported all the same, as the original platform does, and
    // what was never read goes with the handle.
    if (!FConnected || FClosing)
        return;
    const ws::TSocket h = FSocket;
    const int code = ws::pendingError(h);
    if (code != 0)
        ReadWriteFailed(h, eeReceive, code, "recv");
    else
        DoClose(h);
}

QByteArray TCustomWinSocket::ReceiveAll()
{
    TBusy busy(this);
    FReadTaken = true;
    if (!FConnected)
        return {};
    const ws::TSocket h = FSocket;
    if (FReadHeld) {
        FReadHeld = false;
        if (FSelect && !FClosing) {
            FSelect->setHangupEnabled(false);
            FSelect->setReadEnabled(true);
        }
    }
    QByteArray result;
    result.swap(FStash);
    int waiting = 0;
    if (ws::bytesAvailable(h, &waiting) == ws::SOCKET_ERROR) {
        ReadWriteFailed(h, eeReceive, ws::WSAGetLastError(), "recv");
        return result;
    }
    if (waiting <= 0)
        return result;
    QByteArray block(waiting, Qt::Uninitialized);
    const int got = ws::recv(h, block.data(), waiting);
    if (got == ws::SOCKET_ERROR) {
        const int code = ws::WSAGetLastError();
        if (code != ws::WSAEWOULDBLOCK)
            ReadWriteFailed(h, eeReceive, code, "recv");
        return result;
    }
    block.truncate(got);
    result += block;
    return result;
}

// ---- writing ---------------------------------------------------------------------------------

int TCustomWinSocket::SendBytes(const QByteArray &bytes)
{
    TBusy busy(this);
    if (!FConnected)
        return 0;
    const ws::TSocket h = FSocket;
    const int sent = ws::send(h, bytes.constData(), static_cast<int>(bytes.size()));
    if (sent != ws::SOCKET_ERROR)
        return sent;
    const int code = ws::WSAGetLastError();
    if (code == ws::WSAEWOULDBLOCK) {
        // A write event follows once there is room again.
        SelectWrite(true);
        return -1;
    }
    ReadWriteFailed(h, eeSend, code, "send");
    return -1;
}

void TCustomWinSocket::WriteReady()
{
    SelectWrite(false);
    if (FConnected && !FClosing)
        Event(seWrite);
}

// ---- queries ---------------------------------------------------------------------------------

QString TCustomWinSocket::RemoteAddress() const
{
    if (!FConnected)
        return {};
    // The address recorded at accept or connect: still right after the peer has reset, when
    // getpeername already fails.
    if (FAddr.sin_family != 0)
        return ws::inet_ntoa(FAddr.sin_addr);
    ws::TSockAddrIn peer;
    if (ws::getpeername(FSocket, &peer) == ws::SOCKET_ERROR)
        throw ESocketError::WindowsError(ws::WSAGetLastError(), "getpeername");
    return ws::inet_ntoa(peer.sin_addr);
}

int TCustomWinSocket::RemotePort() const
{
    if (!FConnected)
        return 0;
    if (FAddr.sin_family != 0)
        return ws::NetToHost16(FAddr.sin_port);
    ws::TSockAddrIn peer;
    if (ws::getpeername(FSocket, &peer) == ws::SOCKET_ERROR)
        throw ESocketError::WindowsError(ws::WSAGetLastError(), "getpeername");
    return ws::NetToHost16(peer.sin_port);
}

int TCustomWinSocket::LocalPort() const
{
    if (FSocket == ws::INVALID_SOCKET)
        return -1;
    ws::TSockAddrIn local;
    if (ws::getsockname(FSocket, &local) == ws::SOCKET_ERROR)
        return -1;
    const int port = ws::NetToHost16(local.sin_port);
    return port == 0 ? -1 : port; // Linux reports an unbound socket as port 0
}

QString TCustomWinSocket::LocalAddress() const
{
    if (FSocket == ws::INVALID_SOCKET)
        return {};
    ws::TSockAddrIn local;
    if (ws::getsockname(FSocket, &local) == ws::SOCKET_ERROR)
        return {};
    return ws::inet_ntoa(local.sin_addr);
}
