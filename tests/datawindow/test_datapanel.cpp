// The data window: its form, the receive log and counters, the hex switch, the send box's key
// filter, the status refresh and the stop button.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

// Qt
#include <QMdiSubWindow>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMdiArea>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTime>
#include <QTreeWidgetItem>

#include "TMySocket.h"
#include "TestSupport.h"
#include "TimeText.h"
#include "TreeNode.h"
#include "LogView.h"
#include "TsuiButton.h"
#include "datapanel.h"

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testing_support::DrainEvents;
using testing_support::ExpectFormButton;
using testing_support::WaitUntil;

class DataWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        area.resize(700, 500);
        area.show();
        window = new TFrmData(&area);
        window->Build()->showMaximized();
        instance.CreatedAt = QStringLiteral("2024-05-01 13:05:09");
        instance.DataWindow = window;
        window->MySocket = &instance;
    }
    void TearDown() override { TFrmData::SetStopInstanceHook(nullptr); }

    QString lastLogLine() const
    {
        window->FlushLog();
        return window->Memo2->line(window->Memo2->lineCount() - 1);
    }
    int logBlocks() const
    {
        window->FlushLog();
        return int(window->Memo2->lineCount());
    }
    QString counterPanel() const { return window->StatusBar2Panel0->text(); }
    void setHex(bool on) { window->CheckBox2->setChecked(on); }

    // The data part of the last receive line, after checking its time and label.
    QString loggedData(const QTime &before, const QTime &after) const
    {
        const QString label = QStringLiteral(" 收到数据：");
        const QString line = window->LogText().section(QLatin1Char('\n'), -1);
        const int at = line.indexOf(label);
        EXPECT_GT(at, 0) << qPrintable(line);
        const QString time = line.left(at);
        EXPECT_TRUE(time == LongTimeText(before) || time == LongTimeText(after)) << qPrintable(time);
        return line.mid(at + label.size());
    }

    QString logReceived(const QByteArray &block)
    {
        const QTime before = QTime::currentTime();
        window->LogReceived(block);
        return loggedData(before, QTime::currentTime());
    }

    QMdiArea area;
    TFrmData *window = nullptr; // owned by the area
    TMySocket instance;
};

TEST_F(DataWindow, FormAsDesigned)
{
    EXPECT_EQ(window->Frame()->windowTitle(), QStringLiteral("数据收发窗口"));
    EXPECT_TRUE(window->Frame()->isVisible() && window->Frame()->isMaximized());
    EXPECT_TRUE(window->Label2->isHidden() && window->Button5->isHidden() && window->Button6->isHidden());
    const QStringList captions{window->GroupBox1->title(), window->GroupBox3->title(), window->GroupBox2->title(),
                               window->Button11->Caption(), window->Label7->text(), window->CheckBox2->text(),
                               window->Button2->Caption()};
    EXPECT_EQ(captions, (QStringList{"Socket状态", "数据接收及提示窗口", "数据发送窗口(文本模式)", "发送数据",
                                     "重复发送次数       ", " 显示十六进制值     ", "统计清零"}));
    ExpectFormButton(window->Button5, QString(), QRect(16, 48, 80, 27));
    ExpectFormButton(window->Button6, QString(), QRect(104, 48, 80, 27));
    ExpectFormButton(window->Button11, QStringLiteral("发送数据"), QRect(24, 1, 93, 25));
    ExpectFormButton(window->Button2, QStringLiteral("统计清零"), QRect(371, 10, 80, 25));
    // As wide as the form or wider, the labels stand where the form puts them.
    EXPECT_EQ(window->Label1->geometry(), QRect(16, 24, 73, 13));
    EXPECT_EQ(window->Label3->geometry(), QRect(232, 24, 130, 13));
    EXPECT_EQ(window->Label4->geometry(), QRect(365, 24, 130, 13));
    EXPECT_EQ(window->Label5->geometry(), QRect(232, 56, 130, 13));
    EXPECT_EQ(window->Label6->geometry(), QRect(367, 56, 130, 13));
    EXPECT_EQ(window->Button5->parentWidget(), window->GroupBox1);
    EXPECT_EQ(window->Button6->parentWidget(), window->GroupBox1);
    EXPECT_EQ(window->Button11->parentWidget(), window->Panel6);
    EXPECT_EQ(window->Button2->parentWidget(), window->GroupBox8);
    EXPECT_FALSE(window->Memo2->isReadOnly());
    EXPECT_EQ(window->Memo2->palette().color(QPalette::Base), QColor(0xFD, 0xF9, 0xF7));

    EXPECT_TRUE(window->ComboBox2->isEditable());
    EXPECT_EQ(window->ComboBox2->currentText(), QStringLiteral("1"));
    QStringList items;
    for (int i = 0; i < window->ComboBox2->count(); ++i)
        items << window->ComboBox2->itemText(i);
    EXPECT_EQ(items, (QStringList{"1", "10", "100", "1000", "10000"}));

    EXPECT_FALSE(window->CheckBox2->isChecked());
    // Empty until the counter line is first written.
    EXPECT_TRUE(counterPanel().isEmpty());
}

TEST_F(DataWindow, ReceiveLinesFollowTheHexSwitch)
{
    EXPECT_EQ(logReceived("AB"), QStringLiteral("AB"));
    const QString first = lastLogLine();
    QTest::mouseClick(window->CheckBox2, Qt::LeftButton);
    EXPECT_EQ(window->GroupBox2->title(), QStringLiteral("数据发送窗口[HEX模式]"));
    EXPECT_EQ(logReceived("AB"), QStringLiteral("{41 42 }AB"));
    EXPECT_EQ(logReceived(QByteArray()), QStringLiteral("{}"));
    // Lines logged before the switch stay as they were.
    window->FlushLog();
    EXPECT_EQ(window->Memo2->line(0), first);
    QTest::mouseClick(window->CheckBox2, Qt::LeftButton);
    EXPECT_EQ(window->GroupBox2->title(), QStringLiteral("数据发送窗口(文本模式)"));
}

TEST_F(DataWindow, ZeroBytesAndInvalidTextKeepWhatFollows)
{
    const QByteArray block("A\0B\xff" "C\x01" "D", 7);
    EXPECT_EQ(logReceived(block), QStringLiteral("A␀B\uFFFDC␁D"));
    setHex(true);
    EXPECT_EQ(logReceived(block), QStringLiteral("{41 00 42 FF 43 01 44 }A␀B\uFFFDC␁D"));
    window->LogReceived("next");
    EXPECT_TRUE(lastLogLine().endsWith(QStringLiteral("{6E 65 78 74 }next")));
    EXPECT_EQ(logBlocks(), 3);
    EXPECT_EQ(window->RecvCount, 18);
}

TEST_F(DataWindow, CounterLineAfterReceivesSendsAndReset)
{
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(counterPanel(), QStringLiteral("收：0字节，发:0字节"));

    window->LogReceived("abc");
    window->LogReceived(QByteArray(4, '\0'));
    EXPECT_EQ(counterPanel(), QStringLiteral("收：7字节，发:0字节"));
    window->SendCount += 20; // as a send command counts
    window->ShowCounters();
    EXPECT_EQ(counterPanel(), QStringLiteral("收：7字节，发:20字节"));

    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(window->SendCount, 0);
    EXPECT_EQ(window->RecvCount, 0);
    EXPECT_EQ(counterPanel(), QStringLiteral("收：0字节，发:0字节"));
    // The log is not touched by the reset.
    EXPECT_EQ(logBlocks(), 2);

    // No negative count past two gigabytes.
    window->RecvCount = 2147483647;
    window->LogReceived("x");
    EXPECT_EQ(counterPanel(), QStringLiteral("收：2147483648字节，发:0字节"));
}

// ---- layout -------------------------------------------------------------------------------

// The text of a label, laid out as the label lays it out, fits inside it.
bool TextFits(const QLabel *label)
{
    const QRect room = label->contentsRect();
    const int wrap = label->wordWrap() ? int(Qt::TextWordWrap) : 0;
    const QRect needed = QFontMetrics(label->font()).boundingRect(room, int(label->alignment()) | wrap, label->text());
    return room.contains(needed);
}

// Restored and made narrower and shorter, down to the least it may be, the window keeps every
// control whole and in sight, the addresses and ports readable, and the longest counter line the
// counters can make shown whole.
TEST_F(DataWindow, EveryControlStaysWholeDownToTheMinimumSize)
{
    instance.Kind = kind::TcpClient;
    instance.RemoteHost = QStringLiteral("127.0.0.1");
    instance.RemotePort = 65535;
    instance.LocalPort = 65535;
    RefreshStatus(&instance);
    QMdiSubWindow *frame = window->Frame();
    frame->showNormal();
    const QSize minimum = frame->minimumSizeHint();
    // Small enough for two side by side and two above each other in the largest main window.
    EXPECT_LE(minimum.width(), 400);
    EXPECT_LE(minimum.height(), 340);

    const QList<const QWidget *> controls{
        window->Label1,   window->Label3, window->Label4,  window->Label5,  window->Label6,    window->Button5,
        window->Button6,  window->Memo2,  window->Memo3,   window->Button11, window->Label7, window->ComboBox2,
        window->StatusBar2Panel0, window->CheckBox2, window->Button2};
    for (const QSize &size : {QSize(680, 480), QSize(537, 470), QSize(460, 420), QSize(420, 380), minimum}) {
        SCOPED_TRACE(::testing::Message() << size.width() << "x" << size.height());
        frame->setGeometry(QRect(QPoint(0, 0), size));
        DrainEvents();
        for (const QWidget *control : controls) {
            QString why;
            EXPECT_TRUE(testing_support::WhollyShown(control, area.viewport(), &why)) << why.toStdString();
        }
        for (const QLabel *label : {window->Label3, window->Label4, window->Label6})
            EXPECT_TRUE(TextFits(label)) << label->text().toStdString();
        EXPECT_GE(window->Memo2->height(), 2 * window->Memo2->fontMetrics().height());
        for (const int64_t count : {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
            window->RecvCount = window->SendCount = count;
            window->ShowCounters();
            EXPECT_TRUE(TextFits(window->StatusBar2Panel0)) << counterPanel().toStdString();
        }
    }
    // The form's own size keeps the longest line whole too.
    frame->showMaximized();
    DrainEvents();
    EXPECT_TRUE(TextFits(window->StatusBar2Panel0));
    EXPECT_TRUE(testing_support::WhollyShown(window->StatusBar2Panel0, area.viewport()));
}

// ---- key filter ---------------------------------------------------------------------------

struct KeyRow {
    const char *name;
    char typed; // '\r' stands for the Enter key
    bool hex;
    bool reaches; // the character gets into the send box
};

class KeyFilter : public DataWindow, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(KeyFilter, TypedCharacter)
{
    const KeyRow &row = GetParam();
    setHex(row.hex);
    if (row.typed == '\r')
        QTest::keyClick(window->Memo3, Qt::Key_Return);
    else
        QTest::keyClick(window->Memo3, row.typed);
    const QString expected = !row.reaches ? QString() : row.typed == '\r' ? QStringLiteral("\n") : QString(QLatin1Char(row.typed));
    EXPECT_EQ(window->Memo3->toPlainText(), expected);

    // The handler on its own: a discarded character becomes the null character.
    QChar c = QLatin1Char(row.typed);
    window->Memo3KeyPress(c);
    EXPECT_EQ(c, row.reaches ? QChar(QLatin1Char(row.typed)) : QChar(0));
}

INSTANTIATE_TEST_SUITE_P(
    DataWindow, KeyFilter,
    ::testing::Values(KeyRow{"off_G", 'G', false, true}, KeyRow{"off_blank", ' ', false, true},
                      KeyRow{"off_enter", '\r', false, true}, KeyRow{"on_G", 'G', true, false},
                      KeyRow{"on_blank", ' ', true, false}, KeyRow{"on_enter", '\r', true, false},
                      KeyRow{"on_a", 'a', true, true}, KeyRow{"on_F", 'F', true, true}, KeyRow{"on_7", '7', true, true}),
    [](const ::testing::TestParamInfo<KeyRow> &info) { return std::string(info.param.name); });

TEST_F(DataWindow, HexSwitchKeepsEditingKeys)
{
    setHex(true);
    QTest::keyClicks(window->Memo3, QStringLiteral("4x1 g4\r2"));
    EXPECT_EQ(window->Memo3->toPlainText(), QStringLiteral("4142"));
    QTest::keyClick(window->Memo3, Qt::Key_Backspace);
    EXPECT_EQ(window->Memo3->toPlainText(), QStringLiteral("414"));
    QTest::keyClick(window->Memo3, Qt::Key_Home);
    QTest::keyClick(window->Memo3, Qt::Key_Delete);
    EXPECT_EQ(window->Memo3->toPlainText(), QStringLiteral("14"));

    // Characters an input method commits are typed characters too.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("A你b!"));
    QCoreApplication::sendEvent(window->Memo3, &commit);
    EXPECT_EQ(window->Memo3->toPlainText(), QStringLiteral("Ab14"));

    // Text typed before the switch went on stays; lower case is not converted.
    setHex(false);
    QTest::keyClicks(window->Memo3, QStringLiteral("z "));
    setHex(true);
    EXPECT_EQ(window->Memo3->toPlainText(), QStringLiteral("Abz 14"));
}

// ---- status refresh -----------------------------------------------------------------------

struct StatusRow {
    const char *name;
    QString kind;
    int32_t linkState;
    QStringList labels; // Label1 .. Label6
    QString open, stop;
    bool openShown, stopShown;
    bool openEnabled, stopEnabled;
};

class StatusTable : public DataWindow, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(StatusTable, Row)
{
    const StatusRow &row = GetParam();
    instance.LinkState = row.linkState;
    instance.LocalPort = 6001;
    instance.LocalAddress = row.kind == kind::UdpGroup ? QStringLiteral("224.1.1.1") : QString();
    instance.RemoteHost = row.kind == kind::UdpServer ? QString() : QStringLiteral("192.168.1.20");
    instance.RemotePort = row.kind == kind::UdpServer ? 0 : 7002;
    // Start from a window whose buttons were shown for another kind: the refresh hides them first.
    instance.Kind = kind::TcpClient;
    RefreshStatus(&instance);
    ASSERT_FALSE(window->Button6->isHidden());

    instance.Kind = row.kind;
    RefreshStatus(&instance);

    const QLabel *labels[] = {window->Label1, window->Label2, window->Label3, window->Label4, window->Label5, window->Label6};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(labels[i]->text(), row.labels[i]) << "Label" << i + 1;
    EXPECT_TRUE(window->Label2->isHidden());
    EXPECT_EQ(window->Button5->Caption(), row.open);
    EXPECT_EQ(window->Button6->Caption(), row.stop);
    EXPECT_EQ(!window->Button5->isHidden(), row.openShown);
    EXPECT_EQ(!window->Button6->isHidden(), row.stopShown);
    if (row.openShown || row.stopShown) {
        EXPECT_EQ(window->Button5->isEnabled(), row.openEnabled);
        EXPECT_EQ(window->Button6->isEnabled(), row.stopEnabled);
    }
}

const QString Created = QStringLiteral("Socket创建时间:2024-05-01 13:05:09");
const QString ServerCreated = QStringLiteral("Socket服务器创建时间:2024-05-01 13:05:09");
const QString Peer = QStringLiteral("对方IP:192.168.1.20");
const QString PeerPort = QStringLiteral("对方端口:7002");
const QString LocalPort = QStringLiteral("本地端口:6001");
const QString Connect = QStringLiteral("连接");
const QString Disconnect = QStringLiteral("断开");

INSTANTIATE_TEST_SUITE_P(
    DataWindow, StatusTable,
    ::testing::Values(
        StatusRow{"tcp_server_stopped", kind::TcpServer, 0, {"已停止", ServerCreated, "", "", "", LocalPort},
                  "启动监听", "停止监听", true, true, true, false},
        StatusRow{"tcp_server_listening", kind::TcpServer, 1, {"已启动", ServerCreated, "", "", "", LocalPort},
                  "启动监听", "停止监听", true, true, false, true},
        StatusRow{"accepted_disconnected", kind::TcpServerClient, 0, {"已断开", Created, Peer, PeerPort, "", LocalPort},
                  Connect, Disconnect, false, true, true, false},
        StatusRow{"accepted_connected", kind::TcpServerClient, 1, {"已连接", Created, Peer, PeerPort, "", LocalPort},
                  Connect, Disconnect, false, true, false, true},
        StatusRow{"tcp_client_disconnected", kind::TcpClient, 0, {"已断开", Created, Peer, PeerPort, "", LocalPort},
                  Connect, Disconnect, true, true, true, false},
        StatusRow{"tcp_client_connected", kind::TcpClient, 1, {"已连接", Created, Peer, PeerPort, "", LocalPort},
                  Connect, Disconnect, true, true, false, true},
        // The UDP rows leave the captions of the TCP client refresh before them.
        StatusRow{"udp_client", kind::UdpClient, 0, {"", Created, Peer, PeerPort, "", LocalPort}, Connect, Disconnect,
                  false, false, false, false},
        StatusRow{"udp_server_before_first_datagram", kind::UdpServer, 0,
                  {"", Created, "对方IP:", "对方端口:0", "", LocalPort}, Connect, Disconnect, false, false, false, false},
        StatusRow{"udp_group", kind::UdpGroup, 0, {"", Created, "组播地址:224.1.1.1", "组播端口:6001", "", ""}, Connect,
                  Disconnect, false, false, false, false},
        // Any other kind only hides the buttons.
        StatusRow{"unknown_kind", QStringLiteral("tcp client"), 1, {"已连接", Created, Peer, PeerPort, "", LocalPort},
                  Connect, Disconnect, false, false, false, false}),
    [](const ::testing::TestParamInfo<StatusRow> &info) { return std::string(info.param.name); });

// ---- open and stop ------------------------------------------------------------------------

TEST_F(DataWindow, StopButtonActsOnItsOwnInstanceOnMouseUpOfAnyButton)
{
    QList<TMySocket *> stopped;
    TFrmData::SetStopInstanceHook([&stopped](TMySocket *s) { stopped << s; });
    area.activateWindow(); // for the keyboard
    ASSERT_TRUE(WaitUntil([this] { return QApplication::activeWindow() == &area; }));

    for (const QString &k : {kind::TcpClient, kind::TcpServerClient}) {
        stopped.clear();
        instance.Kind = k;
        instance.LinkState = 1;
        RefreshStatus(&instance);
        ASSERT_TRUE(window->Button6->isEnabled());
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
            QTest::mouseClick(window->Button6, b);
        DrainEvents();
        EXPECT_EQ(stopped, (QList<TMySocket *>{&instance, &instance, &instance})) << qPrintable(k);

        // Its click alone (here from the keyboard) does nothing.
        stopped.clear();
        QSignalSpy clicks(window->Button6, &TsuiButton::clicked);
        window->Button6->setFocus();
        ASSERT_TRUE(window->Button6->hasFocus());
        QTest::keyClick(window->Button6, Qt::Key_Space);
        DrainEvents();
        EXPECT_EQ(clicks.count(), 1);
        EXPECT_TRUE(stopped.isEmpty());

        // A disabled stop button hears no mouse-up.
        window->Button6->setEnabled(false);
        QTest::mouseClick(window->Button6, Qt::LeftButton);
        DrainEvents();
        EXPECT_TRUE(stopped.isEmpty());
        window->Button6->setEnabled(true);

        // An assistive tool's press is a whole press, mouse-up included.
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(window->Button6);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("断开"));
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        DrainEvents();
        EXPECT_EQ(stopped, QList<TMySocket *>{&instance});
    }

    // The UDP kinds have no stop action.
    stopped.clear();
    for (const QString &k : {kind::UdpClient, kind::UdpServer, kind::UdpGroup}) {
        instance.Kind = k;
        window->Button6MouseUp();
    }
    EXPECT_TRUE(stopped.isEmpty());
}

TEST_F(DataWindow, StopButtonOfAServerMarksItStopped)
{
    QTreeWidgetItem node(QStringList{QStringLiteral("127.0.0.1[6001]")});
    SetStateIndex(&node, state::Listening);
    instance.Node = &node;
    instance.Kind = kind::TcpServer;
    instance.LinkState = 1;
    RefreshStatus(&instance);

    bool hookCalled = false;
    TFrmData::SetStopInstanceHook([&hookCalled](TMySocket *) { hookCalled = true; });
    QTest::mouseClick(window->Button6, Qt::LeftButton);
    DrainEvents();
    EXPECT_FALSE(hookCalled);
    EXPECT_EQ(instance.LinkState, 0);
    EXPECT_EQ(StateIndex(&node), state::Stopped);
    EXPECT_EQ(window->Label1->text(), QStringLiteral("已停止"));
    EXPECT_TRUE(window->Button5->isEnabled());
    EXPECT_FALSE(window->Button6->isEnabled());
}

} // namespace

namespace {

// Everything of a window the user can see, as text.
QStringList Seen(TFrmData *w)
{
    QStringList seen;
    for (QLabel *l : {w->Label1, w->Label2, w->Label3, w->Label4, w->Label5, w->Label6})
        seen << l->text() + '|' + l->toolTip() + '|' + QString::number(l->isHidden());
    for (TsuiButton *b : {w->Button5, w->Button6})
        seen << b->Caption() + '|' + QString::number(b->isHidden()) + '|' + QString::number(b->isEnabled());
    seen << w->StatusBar2Panel0->text() << w->GroupBox2->title() << QString::number(w->CheckBox2->isChecked());
    w->FlushLog();
    seen << w->Memo2->toPlainText() << QString::number(w->Memo2->firstVisibleLine())
         << QString::number(w->Memo2->followsEnd());
    return seen;
}

} // namespace

TEST(DataWindowShownLate, ShowsWhatItWouldHaveShownHadItBeenShownAllAlong)
{
    QMdiArea area;
    area.resize(700, 500);
    area.show();
    TFrmData *early = new TFrmData(&area);
    early->Build()->showMaximized();
    TFrmData *late = new TFrmData(&area);
    TMySocket instance[2];
    TFrmData *windows[2] = {early, late};
    for (int i = 0; i < 2; ++i) {
        instance[i].Kind = kind::TcpServerClient;
        instance[i].CreatedAt = QStringLiteral("2024-05-01 13:05:09");
        instance[i].RemoteHost = QStringLiteral("127.0.0.1");
        windows[i]->MySocket = &instance[i];
        instance[i].DataWindow = windows[i];
    }
    // The same life for both: refreshes, reads, a reset, a trim, the link going down.
    const std::vector<std::function<void(TFrmData *, TMySocket *)>> events = {
        [](TFrmData *, TMySocket *s) { RefreshStatus(s); },
        [](TFrmData *, TMySocket *s) { s->LinkState = 1, s->RemotePort = 4321, s->LocalPort = 80, RefreshStatus(s); },
        [](TFrmData *w, TMySocket *) { w->LogReceived("abc\r\nsecond line"); },
        [](TFrmData *w, TMySocket *) { w->LogReceived(QByteArray(70000, 'x')); },
        [](TFrmData *w, TMySocket *) { w->Button2Click(); },
        [](TFrmData *w, TMySocket *) {
            for (int i = 0; i < 300; ++i)
                w->LogReceived(QByteArray::number(i));
        },
        [](TFrmData *w, TMySocket *) { w->SetLogBounds(100000, 200); },
        [](TFrmData *w, TMySocket *) { w->AppendLogLine(QStringLiteral("a line of its own")); },
        [](TFrmData *, TMySocket *s) { s->LinkState = 0, RefreshStatus(s); },
    };
    for (const auto &event : events)
        for (int i = 0; i < 2; ++i)
            event(windows[i], &instance[i]);
    EXPECT_FALSE(late->IsBuilt());
    late->Build()->showMaximized();
    DrainEvents();
    const QStringList seenLate = Seen(late), seenEarly = Seen(early);
    ASSERT_EQ(seenLate.size(), seenEarly.size());
    for (int i = 0; i < seenLate.size(); ++i)
        EXPECT_EQ(seenLate[i], seenEarly[i]) << "item " << i;
    EXPECT_EQ(late->RecvCount, early->RecvCount);
}
