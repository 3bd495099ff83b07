#include "TClientSocket.h"

#include "TClientWinSocket.h"

TClientSocket::TClientSocket(QObject *parent) : TCustomSocket(parent), FClientSocket(new TClientWinSocket)
{
    FClientSocket->OnSocketEvent = [this](QObject *, TCustomWinSocket *socket, TSocketEvent socketEvent) {
        Event(socket, socketEvent);
    };
    FClientSocket->OnErrorEvent = [this](QObject *, TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode) {
        Error(socket, errorEvent, errorCode);
    };
}

TClientSocket::~TClientSocket()
{
    FClientSocket->Release();
}

TClientType TClientSocket::ClientType() const
{
    return FClientSocket->ClientType;
}

void TClientSocket::SetClientType(TClientType value)
{
    CheckInactive();
    FClientSocket->ClientType = value;
}

void TClientSocket::DoActivate(bool value)
{
    if (value)
        FClientSocket->Connect(Host(), Address(), Port());
    else
        FClientSocket->Close();
}
