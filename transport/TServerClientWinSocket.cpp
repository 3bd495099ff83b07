#include "TServerClientWinSocket.h"

#include "TAtExit.h"
#include "TServerWinSocket.h"

TServerClientWinSocket::TServerClientWinSocket(ws::TSocket s, const ws::TSockAddrIn &peer, TServerWinSocket *server)
    : FServer(server)
{
    SetHandle(s);
    FAddr = peer;
    FConnected = true;
    OnSocketEvent = [server](QObject *, TCustomWinSocket *socket, TSocketEvent socketEvent) {
        server->ClientEvent(socket, socketEvent);
    };
    OnErrorEvent = [server](QObject *, TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode) {
        server->ClientError(socket, errorEvent, errorCode);
    };
}

TServerClientWinSocket::~TServerClientWinSocket()
{
    if (FServer)
        FServer->RemoveConnection(this);
}

void TServerClientWinSocket::Start()
{
    TBusy busy(this);
    // Reads only after the connect handler has run (it is what sets the user tag), and also
    // when it failed.
    TAtExit reads([this, h = FSocket] { ResumeReads(h); });
    Event(seConnect);
}

void TServerClientWinSocket::Disconnected()
{
    PostFree();
}

void TServerClientWinSocket::FreeNow()
{
    if (FServer) {
        FServer->RemoveConnection(this);
        FServer = nullptr;
    }
    delete this;
}
