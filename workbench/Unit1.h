#pragma once
// The main window: tool bar, category tree, document area with the data windows, and the
// operations that create, delete, select and stop socket instances.

// Qt
#include <QMainWindow>

// transport
#include "SocketEvents.h"

#include "SocketList.h"

class QLabel;
class QMenu;
class QMdiArea;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class TAcceptedNodes;
class TClientSocket;
class TDataWindowStack;
class TPaintThrottle;
class TCustomWinSocket;
class TFrmData;
class TNMUDP;
class TServerSocket;
class TsuiButton;
class TsuiImagePanel;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Operations on the tree's selected node.
    void Button1Click(); // create
    void Button2Click(); // delete
    void TreeView1Change(QTreeWidgetItem *node); // select
    void Button6Click(); // stop
    // The stop rows by kind, for one instance: the selected node's (Button6Click), or a data
    // window's own (its stop button, through the hook this window installs).
    void StopInstance(TMySocket *instance);
    void Button8Click(); // exit
    void FormClose();

    // Create rows: each makes one instance from the values of its kind's dialog (none, for a UDP
    // port taken since the dialog's probe).
    TMySocket *CreateTcpServer(int32_t port);
    TMySocket *CreateTcpClient(const QString &host, int32_t port);
    TMySocket *CreateUdpClient(const QString &host, int32_t remotePort, int32_t localPort);
    TMySocket *CreateUdpServer(int32_t localPort);
    TMySocket *CreateUdpGroup(const QString &groupAddress, int32_t groupPort);

    QTreeWidgetItem *CategoryNode(const QString &kindText) const;
    // The node the user sees selected, or none; the tree's current node may be another.
    QTreeWidgetItem *SelectedNode() const;

    TSocketList SocketList;

    // Controls, named as on the form.
    QWidget *Panel1 = nullptr;
    TsuiImagePanel *suiImagePanel1 = nullptr;
    TsuiButton *Button1 = nullptr;
    TsuiButton *Button2 = nullptr;
    TsuiButton *Button8 = nullptr;
    QToolButton *Button5 = nullptr;
    QToolButton *Button6 = nullptr;
    QWidget *Panel2 = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QWidget *Panel3 = nullptr;
    QWidget *Panel5 = nullptr;
    QWidget *Panel4 = nullptr;
    QWidget *Panel6 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPlainTextEdit *Memo2 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QMdiArea *MdiArea = nullptr;
    // The data windows of MdiArea: the front one shown, the others waiting outside the area.
    TDataWindowStack *DataWindows = nullptr;
    // The tree and the document area, painted at most about once a period while connections
    // are accepted in quick succession.
    TPaintThrottle *AcceptPainting = nullptr;
    // The nodes of connections accepted in quick succession go into the tree together.
    TAcceptedNodes *AcceptedNodes = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void BuildToolBar();
    void BuildTree();
    void BuildPlaceholder(QWidget *parent);

    // Shows the creation dialog of a kind; returns its modal result (1 OK, 2 Cancel).
    int ShowCreateDialog(const QString &kindText);
    // Builds the instance of a kind from the values its dialog left.
    void CreateFromDialog(const QString &kindText);

    // The frame every create row follows.
    TMySocket *NewInstance(const QString &kindText);
    void AddInstanceNode(TMySocket *instance, QTreeWidgetItem *parent, const QString &caption, int stateIndex);
    // Brought to the front at once, or (soon) within a period: connections accepted in quick
    // succession do not each have their window made.
    TFrmData *NewDataWindow(TMySocket *instance, bool soon = false);
    void FinishInstance(TMySocket *instance);

    // Panel3 is shown exactly while SocketList is empty.
    void UpdatePlaceholder();

    // Delete rows by kind.
    void DeleteTcpServer(TMySocket *instance);
    void DeleteTcpServerClient(TMySocket *instance);
    void DeleteTcpClient(TMySocket *instance);
    void DeleteUdp(TMySocket *instance);
    void DeleteUdpGroup(TMySocket *instance);

    // Stop rows that need the TCP components.
    void DeactivateTcpServer(TMySocket *instance);
    void DeactivateTcpClient(TMySocket *instance);
    void CloseTcpServerClient(TMySocket *instance);

    // Frees an instance's data window (the window refers back to the instance).
    void FreeDataWindow(TMySocket *instance);
    // The end of the main window: every instance goes with its node, socket objects and data
    // window, without events.
    void ReleaseInstances();

    // The local adapter address shown for new TCP and UDP servers.
    QString LocalAdapterAddress() const;

    // ---- TCP events ----
    // The TCP components of a new instance, with the handlers below attached (TcpEvents.cpp).
    TServerSocket *NewTcpServerSocket(TMySocket *instance, int32_t port);
    TClientSocket *NewTcpClientSocket(TMySocket *instance, const QString &host, int32_t port);

    // Each handler finds its instance through the socket object's user tag; none shows a message.
    void TcpAccept(QObject *Sender, TCustomWinSocket *Socket);
    void TcpConnectionRead(QObject *Sender, TCustomWinSocket *Socket);
    void TcpConnectionClosed(QObject *Sender, TCustomWinSocket *Socket);
    void TcpClientConnected(QObject *Sender, TCustomWinSocket *Socket);
    void TcpClientClosed(QObject *Sender, TCustomWinSocket *Socket);
    void TcpClientRead(QObject *Sender, TCustomWinSocket *Socket);
    void TcpErrorSilencer(QObject *Sender, TCustomWinSocket *Socket, TErrorEvent ErrorEvent, int &ErrorCode);

    // ---- connections kept after their close (KeptConnections.cpp) ----
    // "保留已断开的连接" in a TCP server window's log menu.
    void AddLogMenuEntries(TFrmData *window, QMenu *menu);
    // A connection of the server that closed stays, greyed and without its socket, when the
    // server keeps them: true if so.
    bool KeepClosedConnection(const TMySocket *server, TMySocket *instance);
    static bool IsKeptConnection(const TMySocket *instance);
    void RemoveKeptConnection(TMySocket *instance);
    void RemoveKeptConnectionsOf(const TMySocket *server);

    // ---- (TCP above, UDP below) ----

    // ---- UDP events ----
    // Data received on a UDP client's or UDP server's component, bound to its instance. A UDP
    // server takes the sender of each datagram as its peer.
    void UdpClientDataReceived(TMySocket *instance, int NumberBytes, const QString &FromIP, int Port);
    void UdpServerDataReceived(TMySocket *instance, int NumberBytes, const QString &FromIP, int Port);
    // The bound UDP component of a new UDP instance; UdpClient or UdpServer is set by the caller.
    TNMUDP *NewUdpComponent(TMySocket *instance, int32_t localPort);
    // True (the component freed, the user told) when the port was taken after the dialog's probe.
    bool PortTakenSinceProbe(TNMUDP *udp, int32_t localPort);
};

extern TForm1 *Form1;
