#pragma once
// The connection object of a TCP client: looks the host up, connects without blocking, and
// reports the outcome through its connect event or its error event.

#include <cstdint>

#include "TCustomWinSocket.h"

class TClientWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    explicit TClientWinSocket(QObject *parent = nullptr);
    ~TClientWinSocket() override;

    // Starts a connect to host (looked up, even when dotted) or else to the dotted address, on
    // the low 16 bits of port; returns at once.
    void Connect(const QString &host, const QString &address, int32_t port);

    TClientType ClientType = ctNonBlocking;

protected:
    void WriteReady() override;

private:
    void LookupDone(ws::TSocket s, int error, uint32_t netAddr);
    void StartConnect(ws::TSocket s);
    void ConnectDone(ws::TSocket s, int error);

    bool FConnecting = false;
};
