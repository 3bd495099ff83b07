#pragma once
// What the TCP components report: the socket events, the error kinds and the shapes of the
// handlers the workbench assigns.

#include <functional>

class QObject;
class TCustomWinSocket;

enum TSocketEvent { seLookup, seConnecting, seConnect, seDisconnect, seListen, seAccept, seWrite, seRead };

// The numbers are what handlers receive as ErrorEvent.
enum TErrorEvent {
    eeGeneral = 0,
    eeSend = 1,
    eeReceive = 2,
    eeConnect = 3,
    eeDisconnect = 4,
    eeAccept = 5,
    eeLookup = 6,
};

enum TClientType { ctNonBlocking, ctBlocking };
enum TServerType { stNonBlocking, stThreadBlocking };

// Sender: the component, or for a server's connection events its listening object.
using TSocketNotifyEvent = std::function<void(QObject *Sender, TCustomWinSocket *Socket)>;
// A handler that sets ErrorCode to 0 keeps the component from raising the error.
using TSocketErrorEvent =
    std::function<void(QObject *Sender, TCustomWinSocket *Socket, TErrorEvent ErrorEvent, int &ErrorCode)>;
// How a socket object passes its events to whoever drives it (component or listening object).
using TSocketEventEvent = std::function<void(QObject *Sender, TCustomWinSocket *Socket, TSocketEvent SocketEvent)>;
