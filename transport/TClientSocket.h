#pragma once
// The connecting TCP component. Active becomes true when the connection is made, not when it is
// asked for.

#include "TCustomSocket.h"

class TClientWinSocket;

class TClientSocket : public TCustomSocket {
    Q_OBJECT
public:
    explicit TClientSocket(QObject *parent = nullptr);
    ~TClientSocket() override;

    // The connection object; lives as long as the component.
    TClientWinSocket *Socket() const { return FClientSocket; }

    // Only the non-blocking mode is built.
    TClientType ClientType() const;
    void SetClientType(TClientType value);

protected:
    // True: starts the lookup and connect and returns. False: closes (only reached while Active).
    void DoActivate(bool value) override;

private:
    TClientWinSocket *FClientSocket;
};
