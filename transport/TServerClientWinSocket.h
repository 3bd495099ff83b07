#pragma once
// One connection accepted by a listening object. Its events and errors go to the listening
// object; after its disconnect event it frees itself later, from the event loop, and only then
// leaves the listening object's connection list.

#include "TCustomWinSocket.h"

class TServerWinSocket;

class TServerClientWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    // Takes the accepted handle; connected from the start.
    TServerClientWinSocket(ws::TSocket s, const ws::TSockAddrIn &peer, TServerWinSocket *server);
    ~TServerClientWinSocket() override;

    // The listening object, or null once the server has let go of this connection.
    TServerWinSocket *ServerWinSocket() const { return FServer; }

protected:
    void Disconnected() override;
    void FreeNow() override;

private:
    friend class TServerWinSocket;
    // Connect event, then read notifications.
    void Start();

    TServerWinSocket *FServer;
};
