#include "TServerWinSocket.h"

#include <sys/socket.h>

#include <algorithm>

// Qt
#include <QList>
#include <QPointer>
#include <QTimer>

#include "ESocketError.h"
#include "TServerClientWinSocket.h"

namespace {
// Connections taken from the system's queue in one turn of the event loop at most, and
// connections made into objects with their events in one turn at most; what waits beyond follows
// in the next turns, so that the windows stay answering while a burst of connections comes in.
constexpr int TakesPerTurn = 1024;
constexpr int StartsPerTurn = 64;
// How long a listener whose accept failed for want of a descriptor or memory waits to try again.
constexpr int AcceptRetryMs = 100;
} // namespace

TServerWinSocket::TServerWinSocket(QObject *parent) : TCustomWinSocket(parent) {}

TServerWinSocket::~TServerWinSocket()
{
    ReleaseConnections();
}

TServerClientWinSocket *TServerWinSocket::Connections(int index) const
{
    if (index < 0 || index >= ActiveConnections())
        return nullptr;
    return FConnections[static_cast<size_t>(index)];
}

void TServerWinSocket::Listen(int32_t port, int queueSize)
{
    TBusy busy(this);
    if (FSocket != ws::INVALID_SOCKET)
        throw ESocketError(QStringLiteral("Can't listen on an open socket"));
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    if (s == ws::INVALID_SOCKET)
        throw ESocketError(QStringLiteral("Can't create new socket"));
    SetHandle(s);
    // Lets a stopped server listen again at once while its old connections sit in TIME_WAIT.
    ws::setReuseAddress(s);

    Event(seLookup);
    if (FSocket != s)
        return;
    FAddr.sin_family = ws::AF_INET_;
    FAddr.sin_port = ws::HostToNet16(static_cast<uint16_t>(port & 0xFFFF));
    FAddr.sin_addr = 0;
    if (ws::bind(s, FAddr) == ws::SOCKET_ERROR) {
        const int code = ws::WSAGetLastError();
        DoClose(s);
        throw ESocketError::WindowsError(code, "bind");
    }
    Select(true, false);
    Event(seListen);
    if (FSocket != s)
        return;
    // The queue asked for is the system's largest, whatever the caller's queue size: with a short
    // one (Windows Sockets 1.1 allowed 5), a burst of connections fills it at once and the system
    // drops the SYNs beyond, which the peers send again only after 1, 3, 7, 15 ... seconds, and
    // give up after about two minutes. The system caps it at net.core.somaxconn.
    (void)queueSize;
    if (ws::listen(s, SOMAXCONN) == ws::SOCKET_ERROR) {
        // Closed as after a failed bind, so that Active is false again and a later try starts clean.
        const int code = ws::WSAGetLastError();
        DoClose(s);
        throw ESocketError::WindowsError(code, "listen");
    }
}

void TServerWinSocket::Disconnect()
{
    TBusy busy(this);
    ReleaseConnections();
    DoClose(FSocket);
}

void TServerWinSocket::CloseConnections()
{
    QList<QPointer<TServerClientWinSocket>> connections;
    for (TServerClientWinSocket *c : FConnections)
        connections.append(c);
    for (const QPointer<TServerClientWinSocket> &c : connections)
        if (c)
            c->Close();
}

void TServerWinSocket::ReleaseOwned()
{
    ReleaseConnections();
}

void TServerWinSocket::ReleaseConnections()
{
    CloseTaken();
    std::vector<TServerClientWinSocket *> connections;
    connections.swap(FConnections);
    for (TServerClientWinSocket *c : connections) {
        c->FServer = nullptr;
        c->Release();
    }
}

void TServerWinSocket::RemoveConnection(TServerClientWinSocket *connection)
{
    FConnections.erase(std::remove(FConnections.begin(), FConnections.end(), connection), FConnections.end());
}

void TServerWinSocket::ReadReady()
{
    TakeWaiting();
    StartTaken(FSocket);
}

void TServerWinSocket::TakeWaiting()
{
    // Taking a connection from the system's queue costs little; making its object and raising
    // its events costs more. So the queue is emptied first, a turn's worth at a time (readiness is
    // level-triggered: a listener with more waiting is ready again in the next turn), and a burst
    // of connections finds room in it instead of having its SYNs dropped.
    for (int taken = 0; taken < TakesPerTurn; ++taken) {
        ws::TSockAddrIn peer;
        const ws::TSocket s = ws::accept(FSocket, &peer);
        if (s != ws::INVALID_SOCKET) {
            FTaken.emplace_back(s, peer);
            continue;
        }
        // Nothing happens for the user. But a connection that could not be taken (descriptor
        // table full, no memory) stays queued and the listener readable: asked again at once it
        // would fail again, at full speed, for as long as the shortage lasts.
        const int code = ws::WSAGetLastError();
        if (code == ws::WSAECONNABORTED)
            continue;
        if (code != ws::WSAEWOULDBLOCK)
            PauseAccepts();
        return;
    }
}

void TServerWinSocket::StartTaken(ws::TSocket listening)
{
    // In accept order, a few a turn, so that the windows stay answering.
    for (int started = 0; started < StartsPerTurn && !FTaken.empty(); ++started) {
        const auto [s, peer] = FTaken.front();
        FTaken.pop_front();
        auto *connection = new TServerClientWinSocket(s, peer, this);
        FConnections.push_back(connection);
        connection->Start();
        // The handlers may have stopped, released or reopened the listener.
        if (FSocket != listening || FReleased)
            return;
        Event(seAccept);
        if (FSocket != listening || FReleased)
            return;
    }
    if (FTaken.empty() || FStartPosted)
        return;
    FStartPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this, listening] {
            TBusy busy(this);
            FStartPosted = false;
            if (FSocket == listening && !FReleased)
                StartTaken(listening);
        },
        Qt::QueuedConnection);
}

void TServerWinSocket::CloseTaken()
{
    std::deque<std::pair<ws::TSocket, ws::TSockAddrIn>> taken;
    taken.swap(FTaken);
    for (const auto &t : taken)
        ws::closesocket(t.first);
}

void TServerWinSocket::PauseAccepts()
{
    const ws::TSocket listening = FSocket;
    SelectRead(false);
    QTimer::singleShot(AcceptRetryMs, this, [this, listening] {
        // Still the same listener: not stopped, released or listening anew meanwhile.
        if (FSocket == listening && !FReleased)
            SelectRead(true);
    });
}

void TServerWinSocket::ClientEvent(TCustomWinSocket *socket, TSocketEvent socketEvent)
{
    if (TSocketEventEvent handler = OnClientEvent)
        handler(this, socket, socketEvent);
}

void TServerWinSocket::ClientError(TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode)
{
    if (TSocketErrorEvent handler = OnClientError)
        handler(this, socket, errorEvent, errorCode);
}
