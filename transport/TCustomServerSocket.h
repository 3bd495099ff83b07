#pragma once
// The listening TCP component: its listening object, and the events of the connections it
// accepts.

#include "TCustomSocket.h"

class TServerWinSocket;

class TCustomServerSocket : public TCustomSocket {
    Q_OBJECT
public:
    explicit TCustomServerSocket(QObject *parent = nullptr);
    ~TCustomServerSocket() override;

    // The listening object; lives as long as the component.
    TServerWinSocket *Socket() const { return FServerSocket; }

    // Only the non-blocking mode is built; the thread cache is kept as a value only.
    TServerType ServerType() const { return FServerType; }
    void SetServerType(TServerType value);
    int ThreadCacheSize() const { return FThreadCacheSize; }
    void SetThreadCacheSize(int value) { FThreadCacheSize = value; }

    // Sender is the listening object, Socket the accepted connection.
    TSocketNotifyEvent OnClientConnect;
    TSocketNotifyEvent OnClientDisconnect;
    TSocketNotifyEvent OnClientRead;
    TSocketNotifyEvent OnClientWrite;
    TSocketErrorEvent OnClientError;

protected:
    // True: listens at once or raises. False: frees every connection without events, then
    // closes the listening handle.
    void DoActivate(bool value) override;

private:
    void ClientEvent(QObject *sender, TCustomWinSocket *socket, TSocketEvent socketEvent);
    void ClientError(QObject *sender, TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode);

    TServerWinSocket *FServerSocket;
    TServerType FServerType = stNonBlocking;
    int FThreadCacheSize = 10;
};
