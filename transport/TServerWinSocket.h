#pragma once
// The listening object of a TCP server: listens on all local addresses, accepts connections and
// keeps them, in accept order, until their deferred free.

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "TCustomWinSocket.h"

class TServerClientWinSocket;

class TServerWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    explicit TServerWinSocket(QObject *parent = nullptr);
    ~TServerWinSocket() override;

    // Listens at once on 0.0.0.0 and the low 16 bits of port, with the system's largest queue
    // (queueSize, the design's, is no longer what the system is asked for).
    void Listen(int32_t port, int queueSize);
    // Frees every connection without events, then closes the listening handle.
    void Disconnect();
    // Closes every connection listed now, in accept order, each with its disconnect event. Stays
    // right when a handler runs the event loop and deferred frees shrink the list meanwhile.
    void CloseConnections();

    // Live accepted connections in accept order; a closed one stays until its deferred free.
    int ActiveConnections() const { return static_cast<int>(FConnections.size()); }
    TServerClientWinSocket *Connections(int index) const;

    // Events and errors of the accepted connections; Sender is this listening object.
    TSocketEventEvent OnClientEvent;
    TSocketErrorEvent OnClientError;

protected:
    void ReadReady() override;
    void ReleaseOwned() override;

private:
    friend class TServerClientWinSocket;
    void ClientEvent(TCustomWinSocket *socket, TSocketEvent socketEvent);
    void ClientError(TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode);
    void RemoveConnection(TServerClientWinSocket *connection);
    // Takes what waits in the system's queue into FTaken.
    void TakeWaiting();
    // Makes the first connections of FTaken into objects, each with its events; the rest follow
    // in later turns of the event loop, while listening is still the listener's handle.
    void StartTaken(ws::TSocket listening);
    // Closes the taken connections that have no object yet.
    void CloseTaken();
    // Stops asking for accepts a little while; the waiting connections stay queued meanwhile.
    void PauseAccepts();
    void ReleaseConnections();

    std::vector<TServerClientWinSocket *> FConnections;
    // Accepted from the system, in accept order, still without object or events.
    std::deque<std::pair<ws::TSocket, ws::TSockAddrIn>> FTaken;
    bool FStartPosted = false;
};
