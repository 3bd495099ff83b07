#include "Unit1.h"

// Qt
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

// platform
#include "MessageSeam.h"
// transport
#include "TClientSocket.h"
#include "TNMUDP.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
// skin
#include "JpegDecoder.h"
#include "TsuiButton.h"
#include "TsuiImagePanel.h"
// datawindow
#include "datapanel.h"

#include "AcceptedNodes.h"
#include "DataWindowStack.h"
#include "TPaintThrottle.h"
#include "TreeNode.h"

TForm1 *Form1 = nullptr;

namespace {

const QColor clCream(255, 251, 240);
const QColor clSkyBlue(166, 202, 240);

QWidget *makePanel(QWidget *parent, const QColor &color)
{
    auto *p = new QWidget(parent);
    p->setAutoFillBackground(true);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, color);
    p->setPalette(pal);
    return p;
}

QFont formFont()
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    return f;
}

} // namespace

TForm1::TForm1(QWidget *parent) : QMainWindow(parent)
{
    Form1 = this;
    setWindowTitle(QStringLiteral("Velmora V2.2"));
    setFont(formFont());
    setMinimumSize(125, 50);
    setMaximumSize(1024, 734);
    resize(723, 547);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    BuildToolBar();
    column->addWidget(Panel1);

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    column->addWidget(Splitter1, 1);

    Panel2 = new QWidget(Splitter1);
    auto *treeBox = new QVBoxLayout(Panel2);
    treeBox->setContentsMargins(0, 0, 0, 0);
    BuildTree();
    treeBox->addWidget(TreeView1);

    auto *right = new QWidget(Splitter1);
    auto *rightBox = new QVBoxLayout(right);
    rightBox->setContentsMargins(0, 0, 0, 0);
    rightBox->setSpacing(0);
    BuildPlaceholder(right);
    rightBox->addWidget(Panel3, 1);
    MdiArea = new QMdiArea(right);
    rightBox->addWidget(MdiArea, 1);
    auto *waitingWindows = new QWidget(right);
    waitingWindows->hide();
    DataWindows = new TDataWindowStack(MdiArea, waitingWindows);
    // The tree selects whatever window comes to the front, and nothing when none is in front.
    connect(DataWindows, &TDataWindowStack::frontChanged, this, [this](TFrmData *window) {
        if (!window) {
            TreeView1->setCurrentItem(nullptr);
            return;
        }
        // A node not in the tree yet is selected when it is put in.
        if (window->MySocket && window->MySocket->Node && window->MySocket->Node->treeWidget())
            TreeView1->setCurrentItem(window->MySocket->Node);
    });

    Splitter1->addWidget(Panel2);
    Splitter1->addWidget(right);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({183, width() - 186});

    AcceptPainting = new TPaintThrottle({TreeView1, MdiArea}, 40, this);
    AcceptedNodes = new TAcceptedNodes(TreeView1, 40, this);

    StatusBar1 = new QStatusBar(this);
    auto *statusPanel = new QLabel(QStringLiteral("Velmora"), StatusBar1);
    statusPanel->setFixedWidth(300);
    StatusBar1->addWidget(statusPanel);
    setStatusBar(StatusBar1);
    StatusBar1->hide();

    FormCreate();
    UpdatePlaceholder();
    TFrmData::SetStopInstanceHook([this](TMySocket *instance) { StopInstance(instance); });
    TFrmData::SetLogMenuHook([this](TFrmData *window, QMenu *menu) { AddLogMenuEntries(window, menu); });
}

TForm1::~TForm1()
{
    ReleaseInstances();
    if (Form1 == this) {
        Form1 = nullptr;
        TFrmData::SetStopInstanceHook(nullptr);
        TFrmData::SetLogMenuHook(nullptr);
    }
}

void TForm1::FormCreate()
{
    // SocketList is a member: made empty with the window, owning its instances.
}

void TForm1::BuildToolBar()
{
    Panel1 = makePanel(this, clSkyBlue);
    Panel1->setFixedHeight(35);
    // The banner strip keeps to the top of the tool bar, inside its one-pixel edge, and follows
    // the window's width; its picture is tiled from its own top-left corner.
    auto *strip = new QVBoxLayout(Panel1);
    strip->setContentsMargins(1, 1, 1, 0);
    strip->setSpacing(0);
    suiImagePanel1 = new TsuiImagePanel(Panel1);
    suiImagePanel1->setObjectName(QStringLiteral("suiImagePanel1"));
    suiImagePanel1->setGeometry(1, 1, 713, 34);
    suiImagePanel1->setFixedHeight(34);
    suiImagePanel1->SetAlign(alTop);
    suiImagePanel1->SetAutoSize(false);
    suiImagePanel1->SetDrawStyle(suiTile);
    suiImagePanel1->SetTransparent(false);
    try {
        suiImagePanel1->SetPicture(LoadJpeg(QString::fromLatin1(BannerResource)));
    } catch (const EJpegError &) {
        // Without its banner the strip shows its colour; the tool bar works all the same.
    }
    strip->addWidget(suiImagePanel1);

    Button1 = NewFormButton(suiImagePanel1, "Button1", QStringLiteral("创建"), QRect(3, 4, 80, 27));
    Button2 = NewFormButton(suiImagePanel1, "Button2", QStringLiteral("删除"), QRect(86, 4, 80, 27));
    Button8 = NewFormButton(suiImagePanel1, "Button8", QStringLiteral("退出"), QRect(181, 4, 80, 26));
    // Only the exit button lets the banner show through its corners.
    Button8->SetTransparent(true);

    QFont speedFont = font();
    speedFont.setBold(true);
    speedFont.setPixelSize(16);
    Button5 = new QToolButton(suiImagePanel1);
    Button5->setText(QStringLiteral("启动"));
    Button6 = new QToolButton(suiImagePanel1);
    Button6->setText(QStringLiteral("停止 "));
    for (QToolButton *b : {Button5, Button6}) {
        b->setAutoRaise(true);
        b->setFont(speedFont);
        b->setStyleSheet(QStringLiteral("color: blue"));
        b->hide();
    }

    connect(Button1, &TsuiButton::clicked, this, ui::Guarded([this] { Button1Click(); }));
    connect(Button2, &TsuiButton::clicked, this, ui::Guarded([this] { Button2Click(); }));
    connect(Button8, &TsuiButton::clicked, this, ui::Guarded([this] { Button8Click(); }));
}

void TForm1::BuildTree()
{
    TreeView1 = new QTreeWidget(Panel2);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setColumnCount(1);
    TreeView1->setIndentation(19);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setMouseTracking(true); // hot tracking
    TreeView1->setIconSize(QSize(16, 16));
    // Every row is one line of the same font beside a 16 x 16 image. Told so, the tree does not
    // measure each row again whenever a node is added below hundreds of others.
    TreeView1->setUniformRowHeights(true);
    QPalette pal = TreeView1->palette();
    pal.setColor(QPalette::Base, QColor(251, 250, 240));
    // The selection stays visible when the tree loses the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    TreeView1->setPalette(pal);

    for (const QString &k : {kind::TcpServer, kind::TcpClient, kind::UdpServer, kind::UdpClient, kind::UdpGroup}) {
        auto *category = new QTreeWidgetItem(TreeView1, QStringList{k});
        SetStateIndex(category, state::Category);
    }
    // The tree makes its first node current (not selected) when it gets the focus: the
    // operations, and the window in front, follow the selection only.
    connect(TreeView1, &QTreeWidget::itemSelectionChanged, this, [this] { TreeView1Change(SelectedNode()); });
}

void TForm1::BuildPlaceholder(QWidget *parent)
{
    Panel3 = makePanel(parent, clCream);
    auto *box = new QVBoxLayout(Panel3);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    Panel5 = makePanel(Panel3, Qt::white);
    Panel5->setFixedHeight(184);
    Panel4 = makePanel(Panel3, Qt::white);
    Panel6 = makePanel(Panel3, clCream);
    Panel6->setFixedHeight(63);
    box->addWidget(Panel5);
    box->addWidget(Panel4, 1);
    box->addWidget(Panel6);

    auto linkLabel = [](const QString &text, const QString &color, QWidget *panel) {
        auto *l = new QLabel(text, panel);
        l->setCursor(Qt::PointingHandCursor);
        l->setStyleSheet(QStringLiteral("color: %1; text-decoration: underline;").arg(color));
        l->setTextInteractionFlags(Qt::NoTextInteraction);
        return l;
    };
    Label1 = linkLabel(QStringLiteral("Velmora 网络调试工作台"), QStringLiteral("red"), Panel5);
    Label2 = linkLabel(QStringLiteral("选择左侧的类别，按“创建”新建一个端点"), QStringLiteral("red"), Panel4);
    Label3 = linkLabel(QStringLiteral("TCP / UDP / 组播"), QStringLiteral("blue"), Panel6);

    auto memo = [](QWidget *panel) {
        auto *m = new QPlainTextEdit(panel);
        m->setReadOnly(true);
        m->setFrameStyle(QFrame::NoFrame);
        return m;
    };
    Memo1 = memo(Panel5);
    Memo2 = memo(Panel4);
    for (auto [panel, label, m] : {std::tuple{Panel5, Label1, Memo1}, std::tuple{Panel4, Label2, Memo2}}) {
        auto *v = new QVBoxLayout(panel);
        v->addWidget(label);
        v->addWidget(m, 1);
    }
    auto *v = new QVBoxLayout(Panel6);
    v->addWidget(Label3);
}

QTreeWidgetItem *TForm1::SelectedNode() const
{
    const QList<QTreeWidgetItem *> selected = TreeView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem *TForm1::CategoryNode(const QString &kindText) const
{
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
        if (TreeView1->topLevelItem(i)->text(0) == kindText)
            return TreeView1->topLevelItem(i);
    return nullptr;
}

void TForm1::UpdatePlaceholder()
{
    const bool empty = SocketList.IsEmpty();
    Panel3->setVisible(empty);
    MdiArea->setVisible(!empty);
}

// ---- select, stop, exit, close ------------------------------------------------------------

void TForm1::TreeView1Change(QTreeWidgetItem *node)
{
    TMySocket *instance = NodeInstance(node);
    if (!instance)
        return;
    for (int i = 0; i < SocketList.Count(); ++i) {
        TMySocket *item = SocketList.Items(i);
        if (item == instance && item->DataWindow) {
            RefreshStatus(item);
            DataWindows->BringToFront(item->DataWindow);
        }
    }
}

void TForm1::Button6Click()
{
    StopInstance(NodeInstance(SelectedNode()));
}

void TForm1::StopInstance(TMySocket *instance)
{
    if (!instance)
        return;
    const QString &k = instance->Kind;
    if (k == kind::TcpServer) {
        DeactivateTcpServer(instance);
        instance->LinkState = 0;
        RefreshStatus(instance);
        SetStateIndex(instance->Node, state::Stopped);
    } else if (k == kind::TcpClient) {
        DeactivateTcpClient(instance);
        instance->LinkState = 0;
        RefreshStatus(instance);
    } else if (k == kind::TcpServerClient) {
        // Its disconnect event removes node, window and instance.
        CloseTcpServerClient(instance);
    }
}

void TForm1::DeactivateTcpServer(TMySocket *instance)
{
    if (auto *server = qobject_cast<TServerSocket *>(instance->Socket)) {
        server->Socket()->CloseConnections();
        server->SetActive(false);
    }
}

void TForm1::DeactivateTcpClient(TMySocket *instance)
{
    // Its disconnect event sets state image 2.
    if (auto *client = qobject_cast<TClientSocket *>(instance->Socket))
        client->SetActive(false);
}

void TForm1::CloseTcpServerClient(TMySocket *instance)
{
    if (auto *connection = qobject_cast<TCustomWinSocket *>(instance->Socket))
        connection->Close();
}

void TForm1::Button8Click()
{
    // Ends the message loop; the close handling does not run on this path. The instances go at
    // once: a send command or a lookup waiting in a nested loop would otherwise go on.
    QCoreApplication::exit(0);
    ReleaseInstances();
}

void TForm1::FormClose()
{
    for (int i = 0; i < SocketList.Count(); ++i) {
        TMySocket *instance = SocketList.Items(i);
        if (instance->Kind == kind::TcpServer)
            if (auto *server = qobject_cast<TServerSocket *>(instance->Socket))
                server->SetActive(false);
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    // The program ends with its window: every endpoint is closed now, and a send command still
    // yielding in a nested event loop finds its window gone and ends.
    ReleaseInstances();
    event->accept();
}

void TForm1::ReleaseInstances()
{
    if (SocketList.IsEmpty())
        return;
    {
        // Nodes first, with the tree quiet: no selection change may reach an instance going now.
        const QSignalBlocker quiet(TreeView1);
        AcceptedNodes->DropAll();
        for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
            qDeleteAll(TreeView1->topLevelItem(i)->takeChildren());
    }
    // Every node is gone: side by side, freeing a window has the area activate another, whose
    // node the tree would select.
    for (int i = 0; i < SocketList.Count(); ++i)
        SocketList.Items(i)->Node = nullptr;
    for (int i = 0; i < SocketList.Count(); ++i) {
        TMySocket *instance = SocketList.Items(i);
        QObject *socket = instance->Socket;
        instance->Socket = instance->UdpClient = instance->UdpServer = nullptr;
        if (auto *udp = qobject_cast<TNMUDP *>(socket)) {
            // The component leaves its socket to its owner.
            const ws::TSocket handle = udp->Handle();
            delete udp;
            ws::closesocket(handle);
        } else if (auto *connection = qobject_cast<TCustomWinSocket *>(socket)) {
            // Still here only when its server was not stopped first.
            connection->Release();
        } else {
            // A server frees its connections without events; a client closes its own.
            delete socket;
        }
        GroupClose(*instance);
        FreeDataWindow(instance);
    }
    while (!SocketList.IsEmpty())
        SocketList.Remove(SocketList.Items(SocketList.Count() - 1));
    UpdatePlaceholder();
}
