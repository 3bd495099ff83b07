#pragma once
// The TCP server component the workbench makes for a "TCP Server" instance.

#include "TCustomServerSocket.h"

class TServerSocket : public TCustomServerSocket {
    Q_OBJECT
public:
    explicit TServerSocket(QObject *parent = nullptr) : TCustomServerSocket(parent) {}
};
