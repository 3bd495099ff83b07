#pragma once
// One socket instance: the workbench's record of an endpoint the user created, or of one
// connection a TCP server accepted. Plain data; the operations that create and remove instances
// (Unit1, the socket event handlers) set it up and free what it refers to.

#include <cstdint>

// Qt
#include <QPointer>
#include <QString>

// transport
#include "GroupEndpoint.h"

class QObject;
class QTreeWidgetItem;
class TFrmData;
class TNMUDP;

// Kind texts: every behaviour that differs by kind compares these as whole strings.
namespace kind {
inline const QString TcpServer = QStringLiteral("TCP Server");
inline const QString TcpClient = QStringLiteral("TCP Client");
inline const QString TcpServerClient = QStringLiteral("TCP ServerClient");
inline const QString UdpServer = QStringLiteral("UDP Server");
inline const QString UdpClient = QStringLiteral("UDP Client");
inline const QString UdpGroup = QStringLiteral("UDP Group");
} // namespace kind

// A "UDP Group" instance is its own multicast endpoint: the group fields come from
// TGroupEndpoint under their own names, and the group operations take the instance.
class TMySocket : public TGroupEndpoint {
public:
    QString CreatedAt;
    QString Kind;
    // TServerSocket, TClientSocket, the accepted TCustomWinSocket or the TNMUDP; unset for a group.
    // Guarded pointers: whatever frees a socket object (a server that stops frees its connections
    // without an event) leaves them null, never dangling, for every handler and send loop after.
    QPointer<QObject> Socket;
    QTreeWidgetItem *Node = nullptr;
    int32_t LinkState = 0;
    int32_t LocalPort = 0;
    QString LocalAddress;
    int32_t RemotePort = 0;
    QString RemoteHost;
    QPointer<TFrmData> DataWindow;
    QPointer<TNMUDP> UdpClient;
    QPointer<TNMUDP> UdpServer;
    // A TCP server's: the nodes, windows and logs of its connections stay when they close, until
    // the user deletes them.
    bool KeepClosedConnections = false;
};

// The current date and time as instances record it: short date, a blank, long time (no zone).
QString CreationTimeText();
