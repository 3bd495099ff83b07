#include "TCustomServerSocket.h"

#include "TServerWinSocket.h"

namespace {
constexpr int ListenQueue = 5;
} // namespace

TCustomServerSocket::TCustomServerSocket(QObject *parent)
    : TCustomSocket(parent), FServerSocket(new TServerWinSocket)
{
    FServerSocket->OnSocketEvent = [this](QObject *, TCustomWinSocket *socket, TSocketEvent socketEvent) {
        Event(socket, socketEvent);
    };
    FServerSocket->OnErrorEvent = [this](QObject *, TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode) {
        Error(socket, errorEvent, errorCode);
    };
    FServerSocket->OnClientEvent = [this](QObject *sender, TCustomWinSocket *socket, TSocketEvent socketEvent) {
        ClientEvent(sender, socket, socketEvent);
    };
    FServerSocket->OnClientError = [this](QObject *sender, TCustomWinSocket *socket, TErrorEvent errorEvent,
                                          int &errorCode) { ClientError(sender, socket, errorEvent, errorCode); };
}

TCustomServerSocket::~TCustomServerSocket()
{
    FServerSocket->Release();
}

void TCustomServerSocket::SetServerType(TServerType value)
{
    CheckInactive();
    FServerType = value;
}

void TCustomServerSocket::DoActivate(bool value)
{
    if (value)
        FServerSocket->Listen(Port(), ListenQueue);
    else
        FServerSocket->Disconnect();
}

void TCustomServerSocket::ClientEvent(QObject *sender, TCustomWinSocket *socket, TSocketEvent socketEvent)
{
    TSocketNotifyEvent handler;
    switch (socketEvent) {
    case seConnect: handler = OnClientConnect; break;
    case seDisconnect: handler = OnClientDisconnect; break;
    case seRead: handler = OnClientRead; break;
    case seWrite: handler = OnClientWrite; break;
    default: break;
    }
    if (handler)
        handler(sender, socket);
}

void TCustomServerSocket::ClientError(QObject *sender, TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode)
{
    if (TSocketErrorEvent handler = OnClientError)
        handler(sender, socket, errorEvent, errorCode);
}
