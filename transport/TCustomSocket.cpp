#include "TCustomSocket.h"

TCustomSocket::TCustomSocket(QObject *parent) : TAbstractSocket(parent) {}

TCustomSocket::~TCustomSocket() = default;

void TCustomSocket::Event(TCustomWinSocket *socket, TSocketEvent socketEvent)
{
    TSocketNotifyEvent handler;
    switch (socketEvent) {
    case seLookup: handler = OnLookup; break;
    case seConnecting: handler = OnConnecting; break;
    case seConnect:
        FActive = true;
        handler = OnConnect;
        break;
    case seDisconnect:
        FActive = false;
        handler = OnDisconnect;
        break;
    case seListen:
        FActive = true;
        handler = OnListen;
        break;
    case seAccept: handler = OnAccept; break;
    case seWrite: handler = OnWrite; break;
    case seRead: handler = OnRead; break;
    }
    if (handler)
        handler(this, socket);
}

void TCustomSocket::Error(TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode)
{
    if (TSocketErrorEvent handler = OnError)
        handler(this, socket, errorEvent, errorCode);
}
