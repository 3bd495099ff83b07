#include "datapanel.h"

#include <algorithm>
#include <utility>

// Qt
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTime>
#include <QVBoxLayout>

// platform
#include "Exception.h"
#include "MessageSeam.h"
// transport
#include "GroupEndpoint.h"
#include "TClientSocket.h"
#include "TClientWinSocket.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
// skin
#include "TsuiButton.h"
// instance
#include "TMySocket.h"
#include "TreeNode.h"

#include "DataWindowFrame.h"
#include "FormPlaces.h"
#include "LogBudget.h"
#include "LogLines.h"
#include "LogView.h"
#include "ReceiveCapture.h"

namespace {

const QColor clCream(255, 251, 240);
const QColor clLogBackground(0xFD, 0xF9, 0xF7);

// The width the form was drawn for: a window maximised in the main window at its first size.
constexpr int FormWidth = 537;

const QString TextModeCaption = QStringLiteral("数据发送窗口(文本模式)");
const QString HexModeCaption = QStringLiteral("数据发送窗口[HEX模式]");

TFrmData::StopInstanceHook &stopInstanceHook()
{
    static TFrmData::StopInstanceHook hook;
    return hook;
}

TFrmData::LogMenuHook &logMenuHook()
{
    static TFrmData::LogMenuHook hook;
    return hook;
}

void setBackground(QWidget *w, QPalette::ColorRole role, const QColor &color)
{
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(role, color);
    w->setPalette(pal);
}

QGroupBox *creamGroupBox(const QString &caption, QWidget *parent)
{
    auto *box = new QGroupBox(caption, parent);
    setBackground(box, QPalette::Window, clCream);
    return box;
}

QLabel *fixedLabel(const QString &caption, QWidget *parent, int x, int y, int width)
{
    auto *label = new QLabel(caption, parent);
    label->setGeometry(x, y, width, 13);
    return label;
}

QFont formFont()
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    return f;
}

// A status label is only about 130 wide: a long host name is clipped, so its tip holds it whole.
void setStatusText(QLabel *label, const QString &text)
{
    // A UDP server refreshes on every datagram, nearly always with the same texts.
    if (label->text() == text && label->toolTip() == text)
        return;
    label->setText(text);
    label->setToolTip(text);
}

} // namespace

TFrmData::TFrmData(QMdiArea *area) : QObject(area), FArea(area)
{
    FStatus.Labels[0] = QStringLiteral("linkstatus");
    FCountersAt.start();
}

TFrmData::~TFrmData()
{
    // The capture's worker writes what it still holds and closes the file.
    StopCapture();
    TLogBudget::Instance().Remove(this);
    delete FFrame.data();
}

QMdiSubWindow *TFrmData::Frame() const
{
    return FFrame.data();
}

QMdiSubWindow *TFrmData::Build()
{
    if (FFrame)
        return FFrame;
    auto *frame = new TDataWindowFrame(FArea, this);
    FFrame = frame;
    frame->setWindowTitle(QStringLiteral("数据收发窗口"));
    frame->setFont(formFont());

    auto *client = new QWidget(frame);
    auto *column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    BuildStatusBox(client);
    column->addWidget(GroupBox1);

    Panel2 = new QWidget(client);
    auto *panelColumn = new QVBoxLayout(Panel2);
    panelColumn->setContentsMargins(0, 0, 0, 0);
    panelColumn->setSpacing(0);
    BuildLogBox(Panel2);
    panelColumn->addWidget(GroupBox3);
    BuildSendBox(Panel2);
    panelColumn->addWidget(GroupBox2, 1);
    column->addWidget(Panel2, 1);
    frame->setWidget(client);

    connect(Button5, &TsuiButton::clicked, this, ui::Guarded([this] { Button5Click(); }));
    // Button6 stops on the mouse-up of any mouse button; its click does nothing. Queued: stopping
    // may free this window (an accepted connection's close removes it) while the button is still
    // inside its own mouse event. The context drops the call if so.
    connect(Button6, &TsuiButton::mouseUp, this, ui::Guarded([this] { Button6MouseUp(); }), Qt::QueuedConnection);
    connect(Button2, &TsuiButton::clicked, this, ui::Guarded([this] { Button2Click(); }));
    // The send command.
    connect(Button11, &TsuiButton::clicked, this, ui::Guarded([this] { Button11Click(); }));
    CheckBox2->setChecked(FHex);
    GroupBox2->setTitle(FHex ? HexModeCaption : TextModeCaption);
    // toggled, not clicked: the caption follows the switch however it is set.
    connect(CheckBox2, &QCheckBox::toggled, this, &TFrmData::CheckBox2Click);
    Memo3->installEventFilter(this);
    // An edit of the user's ends a walk through the send history: the next starts from the box.
    connect(Memo3, &QPlainTextEdit::textChanged, this, [this] {
        if (!FRecalling)
            FSendHistory.Leave();
    });
    Memo3->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo3, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu *menu = Memo3->createStandardContextMenu();
        AddSendMenuEntries(menu);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(Memo3->viewport()->mapToGlobal(at));
    });
    connect(Memo2, &TLogView::menuAboutToShow, this, &TFrmData::AddLogMenuEntries);
    connect(Memo2, &TLogView::menuAboutToShow, this, [this](QMenu *menu) {
        if (const LogMenuHook hook = logMenuHook())
            hook(this, menu);
    });

    // The counter panel paints when the log box does (see ShowCounters).
    connect(Memo2, &TLogView::appendsShown, this, [this] {
        if (!StatusBar2Panel0->updatesEnabled())
            StatusBar2Panel0->setUpdatesEnabled(true);
    });

    // What the window kept until now.
    Memo2->AdoptLines(FLog ? std::move(*FLog) : TLogStore());
    FLog.reset();
    ApplyStatus();
    ApplyCounters();
    FArea->addSubWindow(frame);
    return frame;
}

void TFrmData::BuildStatusBox(QWidget *parent)
{
    GroupBox1 = creamGroupBox(QStringLiteral("Socket状态"), parent);
    GroupBox1->setFixedHeight(81);
    GroupBox1->setMinimumWidth(formplaces::StatusMinWidth());
    Label1 = new QLabel(QStringLiteral("linkstatus"), GroupBox1);
    Label2 = fixedLabel(QString(), GroupBox1, 16, 8, 130);
    Label2->hide();
    Label3 = new QLabel(GroupBox1);
    Label4 = new QLabel(GroupBox1);
    Label5 = new QLabel(GroupBox1);
    Label6 = new QLabel(GroupBox1);
    Button5 = NewFormButton(GroupBox1, "Button5", QString(), QRect(16, 48, 80, 27));
    Button6 = NewFormButton(GroupBox1, "Button6", QString(), QRect(104, 48, 80, 27));
    Button5->hide();
    Button6->hide();
    PlaceStatusBox(FormWidth);
    GroupBox1->installEventFilter(this);
}

void TFrmData::PlaceStatusBox(int width)
{
    const formplaces::TStatusPlaces places = formplaces::StatusPlaces(width);
    Label1->setGeometry(places.Label1);
    Label3->setGeometry(places.Label3);
    Label4->setGeometry(places.Label4);
    Label5->setGeometry(places.Label5);
    Label6->setGeometry(places.Label6);
    Button5->setGeometry(places.Button5);
    Button6->setGeometry(places.Button6);
}

void TFrmData::BuildLogBox(QWidget *parent)
{
    GroupBox3 = creamGroupBox(QStringLiteral("数据接收及提示窗口"), parent);
    // As high as on the form while the window is as tall; a shorter one shares the lack with the
    // send box.
    GroupBox3->setMinimumHeight(formplaces::LogMinHeight);
    GroupBox3->setMaximumHeight(formplaces::LogMaxHeight);
    auto *box = new QVBoxLayout(GroupBox3);
    box->setContentsMargins(2, 2, 2, 2);
    Memo2 = new TLogView(GroupBox3);
    Memo2->setAccessibleName(GroupBox3->title());
    setBackground(Memo2, QPalette::Base, clLogBackground);
    box->addWidget(Memo2);
}

void TFrmData::BuildSendBox(QWidget *parent)
{
    GroupBox2 = creamGroupBox(TextModeCaption, parent);
    auto *column = new QVBoxLayout(GroupBox2);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(0);

    auto *row = new QHBoxLayout;
    row->setSpacing(0);
    Memo3 = new QPlainTextEdit(GroupBox2);
    setBackground(Memo3, QPalette::Base, Memo3->palette().color(QPalette::Light));
    row->addWidget(Memo3, 1);

    Panel6 = new QWidget(GroupBox2);
    setBackground(Panel6, QPalette::Window, clCream);
    Button11 = NewFormButton(Panel6, "Button11", QStringLiteral("发送数据"), QRect(24, 1, 93, 25));
    Label7 = new QLabel(QStringLiteral("重复发送次数       "), Panel6);
    Label7->move(24, 48);
    // As high as its text: the repeat count box stands 20 below it.
    Label7->adjustSize();
    ComboBox2 = new QComboBox(Panel6);
    ComboBox2->setGeometry(24, 68, 97, 21);
    ComboBox2->setEditable(true);
    // A typed count is used as it stands, never added to the list.
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->addItems({QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("100"), QStringLiteral("1000"),
                         QStringLiteral("10000")});
    ComboBox2->setCurrentText(QStringLiteral("1"));

    StatusBar2 = new QStatusBar(Panel6);
    StatusBar2->setSizeGripEnabled(false);
    setBackground(StatusBar2, QPalette::Window, clCream);
    StatusBar2Panel0 = new QLabel(StatusBar2);
    // The counter line changes on every read, and a label that could grow would have its status
    // bar, and from there the whole window, laid out again each time: the label is made as large
    // as the longest counter line needs, in two lines, once.
    StatusBar2Panel0->setWordWrap(true);
    StatusBar2Panel0->setFixedSize(formplaces::CounterTextSize(QFontMetrics(StatusBar2Panel0->font())));
    StatusBar2->addWidget(StatusBar2Panel0, 1);
    const int panelWidth = std::max(formplaces::SidePanelWidth, StatusBar2->sizeHint().width());
    Panel6->setFixedWidth(panelWidth);
    StatusBar2->setFixedSize(panelWidth, StatusBar2->sizeHint().height());
    Panel6->setMinimumHeight(formplaces::SidePanelMinHeight(StatusBar2->height()));
    Panel6->installEventFilter(this);
    auto *panelColumn = new QVBoxLayout(Panel6);
    panelColumn->setContentsMargins(0, 0, 0, 0);
    panelColumn->addStretch(1);
    panelColumn->addWidget(StatusBar2);
    Memo3->setMinimumWidth(formplaces::SendBoxMinWidth);
    row->addWidget(Panel6);
    column->addLayout(row, 1);

    GroupBox8 = creamGroupBox(QString(), GroupBox2);
    GroupBox8->setFixedHeight(41);
    CheckBox2 = new QCheckBox(QStringLiteral(" 显示十六进制值     "), GroupBox8);
    CheckBox2->move(8, 16);
    CheckBox2->adjustSize();
    Button2 = NewFormButton(GroupBox8, "Button2", QStringLiteral("统计清零"), formplaces::ResetButtonPlace(FormWidth));
    GroupBox8->setMinimumWidth(formplaces::SwitchRowMinWidth(CheckBox2->geometry().right() + 1));
    GroupBox8->installEventFilter(this);
    column->addWidget(GroupBox8);
}

void TFrmData::CheckBox2Click()
{
    // What waited for the rest of a character shows as it came, before lines of the other kind.
    ShowHeldBytes();
    FHex = CheckBox2->isChecked();
    GroupBox2->setTitle(FHex ? HexModeCaption : TextModeCaption);
}

ui::Operation TFrmData::Working()
{
    return ui::Operation({this}, [this, instance = MySocket] { return MySocket == instance; });
}

// ---- send box key filter ------------------------------------------------------------------

void TFrmData::Memo3KeyPress(QChar &key)
{
    if (!HexMode())
        return;
    if (key == QChar(8))
        return;
    if (!QStringLiteral("0123456789ABCDEFabcdef").contains(key))
        key = QChar(0);
}

bool TFrmData::DiscardsKey(const QKeyEvent *event)
{
    QChar key;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        key = QChar(13);
    } else {
        // Only typed characters are filtered: keys without one (arrows, Delete) and the editing
        // shortcuts held with Ctrl work as always, as does pasting from the context menu.
        if (event->text().isEmpty() || event->key() == Qt::Key_Delete
            || (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
            return false;
        key = event->text().at(0);
    }
    Memo3KeyPress(key);
    return key.isNull();
}

bool TFrmData::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Memo3) {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            return RecallKey(key) || DiscardsKey(key);
        }
        if (event->type() == QEvent::InputMethod && HexMode()) {
            // Characters from an input method are typed characters as well.
            auto *im = static_cast<QInputMethodEvent *>(event);
            QString kept;
            for (QChar c : im->commitString()) {
                Memo3KeyPress(c);
                if (!c.isNull())
                    kept += c;
            }
            if (kept != im->commitString())
                im->setCommitString(kept, im->replacementStart(), im->replacementLength());
        }
        return false;
    }
    // The hand-placed controls follow the size of their box.
    if (event->type() == QEvent::Resize && (watched == GroupBox1 || watched == GroupBox8 || watched == Panel6)) {
        const QSize size = static_cast<QResizeEvent *>(event)->size();
        if (watched == GroupBox1) {
            PlaceStatusBox(size.width());
        } else if (watched == GroupBox8) {
            Button2->setGeometry(formplaces::ResetButtonPlace(size.width()));
        } else {
            const int top = formplaces::RepeatCaptionTop(size.height(), StatusBar2->height());
            Label7->move(Label7->x(), top);
            ComboBox2->move(ComboBox2->x(), top + formplaces::RepeatBoxBelowCaption);
        }
        return false;
    }
    return QObject::eventFilter(watched, event);
}

// ---- open and stop ------------------------------------------------------------------------

TFrmData::StopInstanceHook TFrmData::SetStopInstanceHook(StopInstanceHook hook)
{
    StopInstanceHook old = std::move(stopInstanceHook());
    stopInstanceHook() = std::move(hook);
    return old;
}

TFrmData::LogMenuHook TFrmData::SetLogMenuHook(LogMenuHook hook)
{
    LogMenuHook old = std::move(logMenuHook());
    logMenuHook() = std::move(hook);
    return old;
}

void TFrmData::Button5Click()
{
    if (!MySocket)
        return;
    const QString &k = MySocket->Kind;
    if (k == kind::TcpServer)
        OpenTcpServer();
    else if (k == kind::TcpClient)
        OpenTcpClient();
}

void TFrmData::Button6MouseUp()
{
    if (!MySocket)
        return;
    const QString &k = MySocket->Kind;
    if (k == kind::TcpServer) {
        StopTcpServer();
    } else if (k == kind::TcpClient || k == kind::TcpServerClient) {
        // Copy: the stop may free this window, and with it nothing here may be touched again.
        const StopInstanceHook hook = stopInstanceHook();
        if (hook)
            hook(MySocket);
    }
}

void TFrmData::OpenTcpServer()
{
    auto *server = qobject_cast<TServerSocket *>(MySocket->Socket);
    bool opened = false;
    try {
        if (server) {
            server->SetActive(true);
            opened = true;
        }
    } catch (const Exception &) {
    }
    if (opened) {
        SetStateIndex(MySocket->Node, state::Listening);
        MySocket->LinkState = 1;
    } else {
        const ui::Operation op = Working();
        if (!op.Run([&] { op.Message(QStringLiteral("Socket端口已经被占用!")); }))
            return;
    }
    RefreshStatus(MySocket);
}

void TFrmData::OpenTcpClient()
{
    auto *client = qobject_cast<TClientSocket *>(MySocket->Socket);
    bool opened = false;
    try {
        if (client) {
            client->SetActive(true);
            opened = true;
        }
    } catch (const Exception &) {
    }
    if (!opened) {
        const ui::Operation op = Working();
        op.Run([&] { op.Message(QStringLiteral("连接失败!")); });
        return;
    }
    // Not bound yet while a host lookup is pending: no port to show until the connect event.
    MySocket->LocalPort = std::max(0, client->Socket()->LocalPort());
    RefreshStatus(MySocket);
}

void TFrmData::StopTcpServer()
{
    // Each close removes that connection's node and window.
    if (auto *server = qobject_cast<TServerSocket *>(MySocket->Socket)) {
        server->Socket()->CloseConnections();
        server->SetActive(false);
    }
    MySocket->LinkState = 0;
    RefreshStatus(MySocket);
    SetStateIndex(MySocket->Node, state::Stopped);
}

bool TFrmData::event(QEvent *event)
{
    if (event->type() != TGroupSocketMessage::MessageType())
        return QObject::event(event);
    if (MySocket)
        LogReceived(GroupReceive(*MySocket, static_cast<const TGroupSocketMessage &>(*event)));
    return true;
}

// ---- status -------------------------------------------------------------------------------

void TFrmData::ShowStatus(const TStatusTexts &status)
{
    FStatus = status;
    FStatusWritten = true;
    if (IsBuilt())
        ApplyStatus();
}

void TFrmData::ApplyStatus()
{
    if (!FStatusWritten)
        return;
    QLabel *const labels[] = {Label1, Label2, Label3, Label4, Label5, Label6};
    for (int i = 0; i < 6; ++i)
        setStatusText(labels[i], FStatus.Labels[i]);
    Button5->SetCaption(FStatus.OpenCaption);
    Button6->SetCaption(FStatus.StopCaption);
    Button5->setVisible(FStatus.OpenShown);
    Button6->setVisible(FStatus.StopShown);
    Button5->setEnabled(FStatus.OpenEnabled);
    Button6->setEnabled(FStatus.StopEnabled);
}

void RefreshStatus(TMySocket *instance)
{
    if (!instance || !instance->DataWindow)
        return;
    TFrmData *w = instance->DataWindow;
    // A closed link sends no rest of a character.
    if (instance->LinkState != 1)
        w->ShowHeldBytes();
    // Captions and enabled states stay as they were where a row leaves the buttons hidden.
    TStatusTexts st = w->Status();
    st.OpenShown = st.StopShown = false;

    const QString &k = instance->Kind;
    const bool linked = instance->LinkState == 1;
    const QString created = QStringLiteral("Socket创建时间:") + instance->CreatedAt;
    const QString remoteHost = QStringLiteral("对方IP:") + instance->RemoteHost;
    const QString remotePort = QStringLiteral("对方端口:") + QString::number(instance->RemotePort);
    const QString localPort = QStringLiteral("本地端口:") + QString::number(instance->LocalPort);

    auto labels = [&st](const QString &l1, const QString &l2, const QString &l3, const QString &l4, const QString &l5,
                        const QString &l6) {
        const QString *texts[] = {&l1, &l2, &l3, &l4, &l5, &l6};
        for (int i = 0; i < 6; ++i)
            st.Labels[i] = *texts[i];
    };
    auto buttons = [&st, linked](const QString &open, const QString &stop, bool showOpen) {
        st.OpenCaption = open;
        st.StopCaption = stop;
        st.OpenShown = showOpen;
        st.StopShown = true;
        st.OpenEnabled = !linked;
        st.StopEnabled = linked;
    };

    if (k == kind::TcpServer) {
        labels(linked ? QStringLiteral("已启动") : QStringLiteral("已停止"),
               QStringLiteral("Socket服务器创建时间:") + instance->CreatedAt, QString(), QString(), QString(), localPort);
        buttons(QStringLiteral("启动监听"), QStringLiteral("停止监听"), true);
    } else if (k == kind::TcpServerClient || k == kind::TcpClient) {
        labels(linked ? QStringLiteral("已连接") : QStringLiteral("已断开"), created, remoteHost, remotePort, QString(),
               localPort);
        // An accepted connection cannot be connected again: its window has no connect button.
        buttons(QStringLiteral("连接"), QStringLiteral("断开"), k == kind::TcpClient);
    } else if (k == kind::UdpClient || k == kind::UdpServer) {
        labels(QString(), created, remoteHost, remotePort, QString(), localPort);
    } else if (k == kind::UdpGroup) {
        labels(QString(), created, QStringLiteral("组播地址:") + instance->LocalAddress,
               QStringLiteral("组播端口:") + QString::number(instance->LocalPort), QString(), QString());
    }
    w->ShowStatus(st);
}
