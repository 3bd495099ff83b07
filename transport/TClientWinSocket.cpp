#include "TClientWinSocket.h"

// Qt
#include <QMetaObject>
#include <QPointer>

// platform
#include "HostLookup.h"
#include "MessageSeam.h"

#include "ESocketError.h"
#include "TAtExit.h"

namespace {
// The code of the lookup error raised when neither host nor address is given.
constexpr int NoAddressCode = 1110;
} // namespace

TClientWinSocket::TClientWinSocket(QObject *parent) : TCustomWinSocket(parent) {}

TClientWinSocket::~TClientWinSocket() = default;

void TClientWinSocket::Connect(const QString &host, const QString &address, int32_t port)
{
    TBusy busy(this);
    if (FConnected)
        throw ESocketError(QStringLiteral("Socket already open"));
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    if (s == ws::INVALID_SOCKET)
        throw ESocketError(QStringLiteral("Can't create new socket"));
    // An earlier attempt that was refused or is still pending keeps its handle; it is closed
    // here rather than leaked.
    SetHandle(s);
    FConnecting = false;

    Event(seLookup);
    if (FSocket != s)
        return;
    FAddr.sin_family = ws::AF_INET_;
    FAddr.sin_port = ws::HostToNet16(static_cast<uint16_t>(port & 0xFFFF));
    if (!host.isEmpty()) {
        QPointer<TClientWinSocket> self(this);
        FLookupHandle = ws::WSAAsyncGetHostByName(host, [self, s](int error, uint32_t netAddr) {
            if (self)
                self->LookupDone(s, error, netAddr);
        });
        return;
    }
    if (address.isEmpty()) {
        int code = NoAddressCode;
        Error(eeLookup, code);
        DoClose(s);
        if (code != 0)
            throw ESocketError(QStringLiteral("No address specified"));
        return;
    }
    FAddr.sin_addr = ws::inet_addr(address.toLatin1());
    StartConnect(s);
}

void TClientWinSocket::LookupDone(ws::TSocket s, int error, uint32_t netAddr)
{
    TBusy busy(this);
    FLookupHandle = 0;
    if (FSocket != s || FReleased)
        return;
    if (error != 0) {
        int code = error;
        Error(eeLookup, code);
        DoClose(s);
        if (code != 0)
            throw ESocketError::WindowsError(code, "ASync Lookup");
        return;
    }
    FAddr.sin_addr = netAddr;
    StartConnect(s);
}

void TClientWinSocket::StartConnect(ws::TSocket s)
{
    // Writability reports the end of the connect; reads wait until it is made (an unconnected
    // socket reads as hung up on Linux).
    FConnecting = true;
    Select(false, true);
    Event(seConnecting);
    if (FSocket != s)
        return;
    if (ws::connect(s, FAddr) == ws::SOCKET_ERROR) {
        const int code = ws::WSAGetLastError();
        if (code != ws::WSAEWOULDBLOCK) {
            // The original platform reports every outcome of an asynchronous connect through the
            // connect notification; a failure Linux reports at once goes the same way.
            Select(false, false);
            QPointer<TClientWinSocket> self(this);
            QMetaObject::invokeMethod(
                this,
                [self, s, code] {
                    if (self)
                        ui::RunGuarded([&] { self->ConnectDone(s, code); });
                },
                Qt::QueuedConnection);
        }
    }
}

void TClientWinSocket::WriteReady()
{
    if (!FConnecting) {
        TCustomWinSocket::WriteReady();
        return;
    }
    const ws::TSocket s = FSocket;
    SelectWrite(false);
    ConnectDone(s, ws::pendingError(s));
}

void TClientWinSocket::ConnectDone(ws::TSocket s, int error)
{
    TBusy busy(this);
    if (FSocket != s || !FConnecting || FReleased)
        return;
    FConnecting = false;
    if (error != 0) {
        // The handle stays, not connected; nothing more is reported for it.
        Select(false, false);
        NotificationError(eeConnect, error);
        return;
    }
    FConnected = true;
    TAtExit reads([this, s] { ResumeReads(s); });
    Event(seConnect);
}
