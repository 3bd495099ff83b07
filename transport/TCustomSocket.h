#pragma once
// The events every TCP component reports, and how a socket object's events become them.

#include "SocketEvents.h"
#include "TAbstractSocket.h"

class TCustomSocket : public TAbstractSocket {
    Q_OBJECT
public:
    explicit TCustomSocket(QObject *parent = nullptr);
    ~TCustomSocket() override;

    // Sender is this component, Socket its socket object.
    TSocketNotifyEvent OnLookup;
    TSocketNotifyEvent OnConnecting;
    TSocketNotifyEvent OnConnect;
    TSocketNotifyEvent OnDisconnect;
    TSocketNotifyEvent OnListen;
    TSocketNotifyEvent OnAccept;
    TSocketNotifyEvent OnRead;
    TSocketNotifyEvent OnWrite;
    TSocketErrorEvent OnError;

protected:
    // The hooks a component gives its socket object. Active follows connect, listen and
    // disconnect before the handler runs; the handler call is the last thing done, since it
    // may free this component.
    void Event(TCustomWinSocket *socket, TSocketEvent socketEvent);
    void Error(TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode);
};
