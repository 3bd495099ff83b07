// The TCP handlers of the main window: accepted connections become "TCP ServerClient" instances
// with their own node and data window, received bytes go to the instance's window, and TCP
// clients show their connects and disconnects.

#include "Unit1.h"

// Qt
#include <QTime>
#include <QTreeWidget>

// transport
#include "TClientSocket.h"
#include "TClientWinSocket.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
// platform
#include "WinSock.h"
// datawindow
#include "LogLines.h"
#include "datapanel.h"

#include "AcceptedNodes.h"
#include "DataWindowStack.h"
#include "TPaintThrottle.h"
#include "TreeNode.h"

namespace {

TMySocket *instanceOf(const TCustomWinSocket *socket)
{
    return socket ? static_cast<TMySocket *>(socket->Data) : nullptr;
}

} // namespace

TServerSocket *TForm1::NewTcpServerSocket(TMySocket *instance, int32_t port)
{
    // Parented only so that the window's end frees it; its life is the instance's.
    auto *server = new TServerSocket(this);
    server->SetPort(port);
    server->Socket()->Data = instance;
    server->Socket()->OnErrorEvent = [this](QObject *sender, TCustomWinSocket *socket, TErrorEvent errorEvent,
                                            int &errorCode) { TcpErrorSilencer(sender, socket, errorEvent, errorCode); };
    server->OnClientConnect = [this](QObject *sender, TCustomWinSocket *socket) { TcpAccept(sender, socket); };
    server->OnClientDisconnect = [this](QObject *sender, TCustomWinSocket *socket) {
        TcpConnectionClosed(sender, socket);
    };
    server->OnClientRead = [this](QObject *sender, TCustomWinSocket *socket) { TcpConnectionRead(sender, socket); };
    instance->Socket = server;
    return server;
}

TClientSocket *TForm1::NewTcpClientSocket(TMySocket *instance, const QString &host, int32_t port)
{
    auto *client = new TClientSocket(this);
    client->SetPort(port);
    client->SetHost(host);
    client->Socket()->Data = instance;
    client->OnConnect = [this](QObject *sender, TCustomWinSocket *socket) { TcpClientConnected(sender, socket); };
    client->OnDisconnect = [this](QObject *sender, TCustomWinSocket *socket) { TcpClientClosed(sender, socket); };
    client->OnRead = [this](QObject *sender, TCustomWinSocket *socket) { TcpClientRead(sender, socket); };
    client->OnError = [this](QObject *sender, TCustomWinSocket *socket, TErrorEvent errorEvent, int &errorCode) {
        TcpErrorSilencer(sender, socket, errorEvent, errorCode);
    };
    instance->Socket = client;
    return client;
}

void TForm1::TcpAccept(QObject *Sender, TCustomWinSocket *Socket)
{
    TMySocket *server = instanceOf(qobject_cast<TServerWinSocket *>(Sender));
    if (!server || !server->Node)
        return;

    // The tree, its painting and the window in front follow once a period, longer as the tree
    // grows.
    const int period = TAcceptedNodes::PeriodFor(SocketList.Count());
    AcceptPainting->SetPeriod(period);
    AcceptedNodes->SetPeriod(period);
    DataWindows->SetSoonPeriod(period);
    AcceptPainting->Changed();
    auto *instance = new TMySocket;
    instance->CreatedAt = CreationTimeText();
    instance->Kind = kind::TcpServerClient;
    instance->Socket = Socket;
    Socket->Data = instance;

    RefreshStatus(server);

    const QString caption = Socket->RemoteAddress() + QLatin1Char('[') + QString::number(Socket->RemotePort()) +
                            QLatin1Char(']');
    auto *node = new QTreeWidgetItem(QStringList{caption});
    SetStateIndex(node, state::Connected);
    // Below the server's node and selected, now while it carries no instance yet (so the
    // selection change does nothing for it), or with the others of a quick succession.
    AcceptedNodes->Add(server->Node, node);
    SetNodeInstance(node, instance);
    instance->Node = node;

    NewDataWindow(instance, true);

    instance->LinkState = 1;
    instance->RemotePort = Socket->RemotePort();
    instance->RemoteHost = Socket->RemoteAddress();
    instance->LocalPort = Socket->LocalPort();

    RefreshStatus(instance);
    SocketList.Add(instance);
}

void TForm1::TcpConnectionRead(QObject *, TCustomWinSocket *Socket)
{
    TMySocket *instance = instanceOf(Socket);
    // A window whose capture is full takes nothing now: the reads wait (see TFrmData::TakesReads).
    if (instance && instance->DataWindow && !instance->DataWindow->TakesReads())
        return;
    // Read even when the instance is gone: unread bytes would hold back the close that follows.
    const QByteArray bytes = Socket->ReceiveAll();
    if (instance && instance->DataWindow)
        instance->DataWindow->LogReceived(bytes);
}

void TForm1::TcpConnectionClosed(QObject *Sender, TCustomWinSocket *Socket)
{
    TMySocket *instance = instanceOf(Socket);
    if (!instance)
        return;
    // What waited for the window's capture reaches it (and its file) before the window goes.
    if (instance->DataWindow && instance->DataWindow->ReadsHeld())
        instance->DataWindow->LogReceived(Socket->ReceiveAll());
    // The connection object outlives the instance until its deferred free.
    Socket->Data = nullptr;
    if (KeepClosedConnection(instanceOf(qobject_cast<TServerWinSocket *>(Sender)), instance))
        return;
    instance->Socket = nullptr;
    instance->LinkState = 0;
    QTreeWidgetItem *node = instance->Node;
    instance->Node = nullptr;
    if (node) {
        SetStateIndex(node, state::NotConnected);
        AcceptedNodes->Forget(node);
        delete node;
    }
    FreeDataWindow(instance);
    SocketList.Remove(instance);
}

void TForm1::TcpClientConnected(QObject *, TCustomWinSocket *Socket)
{
    TMySocket *instance = instanceOf(Socket);
    if (!instance)
        return;
    instance->LinkState = 1;
    instance->LocalPort = Socket->LocalPort();
    RefreshStatus(instance);
    SetStateIndex(instance->Node, state::Connected);
}

void TForm1::TcpClientClosed(QObject *, TCustomWinSocket *Socket)
{
    TMySocket *instance = instanceOf(Socket);
    if (!instance)
        return;
    if (instance->DataWindow && instance->DataWindow->ReadsHeld())
        instance->DataWindow->LogReceived(Socket->ReceiveAll());
    instance->LinkState = 0;
    RefreshStatus(instance);
    SetStateIndex(instance->Node, state::NotConnected);
}

void TForm1::TcpClientRead(QObject *, TCustomWinSocket *Socket)
{
    TMySocket *instance = instanceOf(Socket);
    if (instance && instance->DataWindow && !instance->DataWindow->TakesReads())
        return;
    const QByteArray bytes = Socket->ReceiveAll();
    if (instance && instance->DataWindow)
        instance->DataWindow->LogReceived(bytes);
}

void TForm1::TcpErrorSilencer(QObject *, TCustomWinSocket *Socket, TErrorEvent ErrorEvent, int &ErrorCode)
{
    const int code = ErrorCode;
    ErrorCode = 0;
    // A client's connect that failed, or the lookup of its host, says why in its window.
    TMySocket *instance = instanceOf(Socket);
    if (!instance || instance->Kind != kind::TcpClient || (ErrorEvent != eeConnect && ErrorEvent != eeLookup))
        return;
    instance->LocalPort = 0;
    RefreshStatus(instance);
    if (instance->DataWindow)
        instance->DataWindow->AppendLogLine(
            ConnectFailedLine(QTime::currentTime(), instance->RemoteHost, instance->RemotePort, ws::ReasonText(code)));
}
