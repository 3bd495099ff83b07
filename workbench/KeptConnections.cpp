// Connections a TCP server keeps after they closed: with "保留已断开的连接" on (the server
// window's log menu), an accepted connection that closes leaves its node (greyed, state image
// "not connected"), its window and its log, until the user deletes it or its server. A kept
// connection has no socket any more: no network event reaches it, and its sends find no link.

#include "Unit1.h"

#include <vector>

// Qt
#include <QMenu>
#include <QTreeWidget>

// datawindow
#include "datapanel.h"

#include "AcceptedNodes.h"
#include "TreeNode.h"

void TForm1::AddLogMenuEntries(TFrmData *window, QMenu *menu)
{
    const TMySocket *instance = window->MySocket;
    if (!instance || instance->Kind != kind::TcpServer)
        return;
    menu->addSeparator();
    // Nothing waits: the switch is set at once (the window is the context: gone, no call).
    QAction *keep = menu->addAction(QStringLiteral("保留已断开的连接"), window, [window](bool on) {
        if (window->MySocket)
            window->MySocket->KeepClosedConnections = on;
    });
    keep->setCheckable(true);
    keep->setChecked(instance->KeepClosedConnections);
}

bool TForm1::KeepClosedConnection(const TMySocket *server, TMySocket *instance)
{
    if (!server || !server->KeepClosedConnections || !instance->Node || !instance->DataWindow)
        return false;
    // Below its server from now on, where deleting the server finds it.
    AcceptedNodes->Flush();
    instance->Socket = nullptr;
    instance->LinkState = 0;
    SetStateIndex(instance->Node, state::NotConnected);
    instance->Node->setForeground(0, TreeView1->palette().brush(QPalette::Disabled, QPalette::Text));
    RefreshStatus(instance);
    return true;
}

bool TForm1::IsKeptConnection(const TMySocket *instance)
{
    return instance && instance->Kind == kind::TcpServerClient && !instance->Socket;
}

void TForm1::RemoveKeptConnection(TMySocket *instance)
{
    if (QTreeWidgetItem *node = instance->Node) {
        instance->Node = nullptr;
        AcceptedNodes->Forget(node);
        delete node;
    }
    FreeDataWindow(instance);
    SocketList.Remove(instance);
}

void TForm1::RemoveKeptConnectionsOf(const TMySocket *server)
{
    std::vector<TMySocket *> kept;
    for (int i = 0; i < SocketList.Count(); ++i) {
        TMySocket *item = SocketList.Items(i);
        if (IsKeptConnection(item) && item->Node && server->Node && item->Node->parent() == server->Node)
            kept.push_back(item);
    }
    for (TMySocket *item : kept)
        RemoveKeptConnection(item);
}
