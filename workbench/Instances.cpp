#include "Unit1.h"

// Creating and deleting the main window's instances: the creation dialogs, each kind's socket
// component, its node and its data window, and taking them all down again.

#include <memory>

// Qt
#include <QTreeWidget>

// platform
#include "Exception.h"
#include "MessageSeam.h"
// transport
#include "TClientSocket.h"
#include "TNMUDP.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
// adapterinfo
#include "netcardinfo.h"
// datawindow
#include "datapanel.h"

#include "DataWindowStack.h"
#include "TreeNode.h"
#include "newclientsock.h"
#include "newgroupsock.h"
#include "newserversock.h"
#include "newudpserver.h"
#include "newudpsock.h"

// ---- create -------------------------------------------------------------------------------

void TForm1::Button1Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    if (node->parent())
        TreeView1->setCurrentItem(node->parent());

    // Each comparison reads the selection afresh: after a creation the new node is selected and
    // no later comparison matches, so one click makes at most one instance.
    for (const QString &k : {kind::TcpServer, kind::TcpClient, kind::UdpClient, kind::UdpServer, kind::UdpGroup}) {
        QTreeWidgetItem *selected = SelectedNode();
        if (selected && selected->text(0) == k && ShowCreateDialog(k) == 1)
            CreateFromDialog(k);
    }

    if (!SocketList.IsEmpty())
        UpdatePlaceholder();
}

int TForm1::ShowCreateDialog(const QString &kindText)
{
    // The dialogs are made at start-up; one that does not exist yet is made here.
    QDialog *dialog = nullptr;
    if (kindText == kind::TcpServer) {
        if (!frmNewServerSock)
            frmNewServerSock = new TfrmNewServerSock(this);
        dialog = frmNewServerSock;
    } else if (kindText == kind::TcpClient) {
        if (!frmNewClientSock)
            frmNewClientSock = new TfrmNewClientSock(this);
        dialog = frmNewClientSock;
    } else if (kindText == kind::UdpClient) {
        if (!frmNewUdpSock)
            frmNewUdpSock = new TfrmNewUdpSock(this);
        dialog = frmNewUdpSock;
    } else if (kindText == kind::UdpGroup) {
        if (!frmNewGroupSock)
            frmNewGroupSock = new TfrmNewGroupSock(this);
        dialog = frmNewGroupSock;
    } else if (kindText == kind::UdpServer) {
        if (!frmNewUDPServer)
            frmNewUDPServer = new TfrmNewUDPServer(this);
        dialog = frmNewUDPServer;
    }
    return dialog ? dialog->exec() : mrCancel;
}

// Reads only the values an accepted dialog left, never its edit boxes.
void TForm1::CreateFromDialog(const QString &kindText)
{
    if (kindText == kind::TcpServer)
        CreateTcpServer(NewServerPort);
    else if (kindText == kind::TcpClient)
        CreateTcpClient(NewClientHost, NewClientPort);
    else if (kindText == kind::UdpClient)
        CreateUdpClient(NewUdpHost, NewUdpRemotePort, NewUdpLocalPort);
    else if (kindText == kind::UdpServer)
        CreateUdpServer(NewUdpServerPort);
    else if (kindText == kind::UdpGroup)
        CreateUdpGroup(NewGroupAddress, NewGroupPort);
}

QString TForm1::LocalAdapterAddress() const
{
    return GetLocalAddress();
}

TMySocket *TForm1::NewInstance(const QString &kindText)
{
    auto *instance = new TMySocket;
    instance->Kind = kindText;
    instance->CreatedAt = CreationTimeText();
    return instance;
}

void TForm1::AddInstanceNode(TMySocket *instance, QTreeWidgetItem *parent, const QString &caption, int stateIndex)
{
    auto *node = new QTreeWidgetItem(parent, QStringList{caption});
    parent->setExpanded(true);
    SetNodeInstance(node, instance);
    SetStateIndex(node, stateIndex);
    instance->Node = node;
    TreeView1->setCurrentItem(node);
}

TFrmData *TForm1::NewDataWindow(TMySocket *instance, bool soon)
{
    auto *window = new TFrmData(MdiArea);
    instance->DataWindow = window;
    window->MySocket = instance;
    DataWindows->Add(window);
    if (soon)
        DataWindows->BringToFrontSoon(window);
    else
        DataWindows->BringToFront(window);
    return window;
}

void TForm1::FinishInstance(TMySocket *instance)
{
    RefreshStatus(instance);
    SocketList.Add(instance);
}

TMySocket *TForm1::CreateTcpServer(int32_t port)
{
    TMySocket *instance = NewInstance(kind::TcpServer);
    TServerSocket *server = NewTcpServerSocket(instance, port);
    instance->LocalPort = port;
    instance->LocalAddress = LocalAdapterAddress();
    AddInstanceNode(instance, CategoryNode(kind::TcpServer),
                    instance->LocalAddress + QLatin1Char('[') + QString::number(port) + QLatin1Char(']'), state::Stopped);
    // Listens before its window exists; a failure leaves it stopped, to be started from there.
    try {
        server->SetActive(true);
        instance->LinkState = 1;
        SetStateIndex(instance->Node, state::Listening);
    } catch (const Exception &) {
        ui::ShowMessage(QStringLiteral("该端口已被占用,监听未启动!"));
    }
    NewDataWindow(instance);
    FinishInstance(instance);
    return instance;
}

TMySocket *TForm1::CreateTcpClient(const QString &host, int32_t port)
{
    TMySocket *instance = NewInstance(kind::TcpClient);
    NewTcpClientSocket(instance, host, port); // connects only from its data window
    instance->RemotePort = port;
    instance->RemoteHost = host;
    NewDataWindow(instance);
    AddInstanceNode(instance, CategoryNode(kind::TcpClient),
                    host + QLatin1Char('[') + QString::number(port) + QLatin1Char(']'), state::NotConnected);
    FinishInstance(instance);
    return instance;
}

bool TForm1::PortTakenSinceProbe(TNMUDP *udp, int32_t localPort)
{
    // The component does not report a failed bind (its dialog probed the port), but the port
    // may have been taken since: told in the dialog's words, and nothing is made.
    if ((localPort & 0xFFFF) == 0 || udp->BoundPort() != 0)
        return false;
    ws::closesocket(udp->Handle()); // the component leaves its socket to its owner
    delete udp;
    ui::ShowMessage(QStringLiteral("本地端口已被占用，请重新选择本地端口号"));
    return true;
}

TMySocket *TForm1::CreateUdpClient(const QString &host, int32_t remotePort, int32_t localPort)
{
    std::unique_ptr<TMySocket> made(NewInstance(kind::UdpClient));
    TMySocket *instance = made.get();
    TNMUDP *udp = NewUdpComponent(instance, localPort);
    if (PortTakenSinceProbe(udp, localPort))
        return nullptr;
    udp->setRemotePort(remotePort);
    udp->setRemoteHost(host);
    udp->OnDataReceived = [this, instance](QObject *, int NumberBytes, const QString &FromIP, int Port) {
        UdpClientDataReceived(instance, NumberBytes, FromIP, Port);
    };
    instance->UdpClient = udp;
    instance->LocalPort = udp->LocalPort();
    instance->RemotePort = remotePort;
    instance->RemoteHost = host;
    made.release();
    NewDataWindow(instance);
    AddInstanceNode(instance, CategoryNode(kind::UdpClient),
                    host + QLatin1Char('[') + QString::number(remotePort) + QLatin1Char(']'), state::Udp);
    FinishInstance(instance);
    return instance;
}

TMySocket *TForm1::CreateUdpServer(int32_t localPort)
{
    std::unique_ptr<TMySocket> made(NewInstance(kind::UdpServer));
    TMySocket *instance = made.get();
    TNMUDP *udp = NewUdpComponent(instance, localPort);
    if (PortTakenSinceProbe(udp, localPort))
        return nullptr;
    udp->setRemoteHost(QString());
    udp->OnDataReceived = [this, instance](QObject *, int NumberBytes, const QString &FromIP, int Port) {
        UdpServerDataReceived(instance, NumberBytes, FromIP, Port);
    };
    instance->UdpServer = udp;
    instance->LocalPort = udp->LocalPort();
    made.release();
    NewDataWindow(instance);
    AddInstanceNode(instance, CategoryNode(kind::UdpServer),
                    LocalAdapterAddress() + QLatin1Char('[') + QString::number(localPort) + QLatin1Char(']'), state::Udp);
    FinishInstance(instance);
    return instance;
}

TMySocket *TForm1::CreateUdpGroup(const QString &groupAddress, int32_t groupPort)
{
    TMySocket *instance = NewInstance(kind::UdpGroup);
    TFrmData *window = NewDataWindow(instance);
    // Opened once the window exists: the group socket messages go to it. A failure is told and
    // the instance is made all the same.
    GroupOpen(*instance, window, groupAddress, groupPort);
    instance->LocalAddress = instance->GroupAddress;
    instance->LocalPort = instance->GroupPort;
    AddInstanceNode(instance, CategoryNode(kind::UdpGroup),
                    instance->LocalAddress + QLatin1Char('[') + QString::number(instance->LocalPort) + QLatin1Char(']'),
                    state::Group);
    FinishInstance(instance);
    return instance;
}

// ---- delete -------------------------------------------------------------------------------

void TForm1::FreeDataWindow(TMySocket *instance)
{
    if (TFrmData *window = instance->DataWindow) {
        instance->DataWindow = nullptr;
        window->MySocket = nullptr;
        delete window;
    }
}

void TForm1::Button2Click()
{
    QTreeWidgetItem *node = SelectedNode();
    TMySocket *instance = NodeInstance(node);
    if (!instance)
        return;

    const QString &k = instance->Kind;
    if (k == kind::TcpServer) {
        DeleteTcpServer(instance);
    } else if (k == kind::TcpServerClient) {
        // The disconnect event removes its node, window and instance; one kept after its close
        // goes now.
        if (IsKeptConnection(instance))
            RemoveKeptConnection(instance);
        else
            DeleteTcpServerClient(instance);
        return;
    } else if (k == kind::TcpClient) {
        DeleteTcpClient(instance);
    } else if (k == kind::UdpClient || k == kind::UdpServer) {
        DeleteUdp(instance);
    } else if (k == kind::UdpGroup) {
        DeleteUdpGroup(instance);
    }

    SocketList.Remove(instance);
    delete node; // and every node below it
    UpdatePlaceholder();
}

void TForm1::DeleteTcpServer(TMySocket *instance)
{
    // Its connections go with it, kept ones too.
    instance->KeepClosedConnections = false;
    if (auto *server = qobject_cast<TServerSocket *>(instance->Socket)) {
        // Each close removes that connection's node, window and instance.
        server->Socket()->CloseConnections();
        server->SetActive(false);
        instance->Socket = nullptr;
        delete server;
    }
    RemoveKeptConnectionsOf(instance);
    FreeDataWindow(instance);
}

void TForm1::DeleteTcpServerClient(TMySocket *instance)
{
    if (auto *connection = qobject_cast<TCustomWinSocket *>(instance->Socket))
        connection->Close();
}

void TForm1::DeleteTcpClient(TMySocket *instance)
{
    if (auto *client = qobject_cast<TClientSocket *>(instance->Socket)) {
        client->SetActive(false); // only a connected client has a disconnect event
        instance->Socket = nullptr;
        delete client;
    }
    FreeDataWindow(instance);
}

void TForm1::DeleteUdp(TMySocket *instance)
{
    // The component leaves its socket to its owner.
    if (auto *udp = qobject_cast<TNMUDP *>(instance->Socket)) {
        ws::closesocket(udp->Handle());
        instance->Socket = instance->UdpClient = instance->UdpServer = nullptr;
        delete udp;
    }
    FreeDataWindow(instance);
}

void TForm1::DeleteUdpGroup(TMySocket *instance)
{
    GroupClose(*instance);
    FreeDataWindow(instance);
}
