// The data windows of the main window, one shown at a time: the front window is maximised,
// active and the only one in the document area; the others wait outside it and come back when
// their node is selected, or when the front window is closed (minimised) or deleted. (A front
// window freed by its connection's end: test_manyconnections.)

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// Qt
#include <QMdiSubWindow>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "LogView.h"
#include "TsuiButton.h"
#include "TMySocket.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "datapanel.h"
#include "MainWindowTest.h"

using namespace testing_support;

namespace {

class DataWindowStack : public testing_support::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        // Clients never connect here: no socket is opened.
        for (int i = 0; i < 4; ++i) {
            clients.push_back(CreateThroughDialog(*form, kind::TcpClient,
                                                  {{QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")},
                                                   {QStringLiteral("Edit2"), QString::number(1000 + i)}}));
            ASSERT_NE(clients.last(), nullptr);
        }
    }

    QList<QMdiSubWindow *> InArea() const { return form->MdiArea->subWindowList(); }

    // What the user sees: this window alone in the area, maximised, active, visible.
    bool IsShownAlone(TFrmData *window) const
    {
        return window->IsBuilt() && InArea() == QList<QMdiSubWindow *>{window->Frame()} && window->Frame()->isVisible()
            && window->Frame()->isMaximized() && form->MdiArea->activeSubWindow() == window->Frame()
            && form->DataWindows->Front() == window;
    }

    void Select(TMySocket *instance) { form->TreeView1->setCurrentItem(instance->Node); }

    QList<TMySocket *> clients;
};

// Clicks the close box of a window's title bar, as the user does.
void ClickCloseBox(QMdiSubWindow *frame)
{
    QStyleOptionTitleBar option;
    option.initFrom(frame);
    option.titleBarFlags = frame->windowFlags();
    option.titleBarState = int(frame->windowState());
    option.subControls = QStyle::SC_All;
    option.text = frame->windowTitle();
    const int border = frame->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, frame);
    const int height = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, frame);
    option.rect = QRect(border, border, frame->width() - 2 * border, height - border);
    const QRect box = frame->style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarCloseButton, frame);
    // The title bar knows which box the pointer is over from its moves.
    QTest::mouseMove(frame, box.center());
    QTest::mouseClick(frame, Qt::LeftButton, {}, box.center());
}

} // namespace

TEST_F(DataWindowStack, SideBySideTheTreeSelectsTheWindowInFrontAfterEachCloseBoxAndNothingWhenNoneIsShown)
{
    for (TMySocket *client : clients)
        Select(client);
    TFrmData *front = clients[2]->DataWindow;
    Select(clients[2]);
    front->Frame()->showNormal();
    DrainEvents();
    ASSERT_TRUE(form->DataWindows->SideBySide());
    ASSERT_EQ(InArea().size(), clients.size());

    for (int closed = 1; closed <= clients.size(); ++closed) {
        SCOPED_TRACE(closed);
        QMdiSubWindow *active = form->MdiArea->activeSubWindow();
        ASSERT_TRUE(active && !active->isMinimized());
        ClickCloseBox(active);
        DrainEvents();
        ASSERT_TRUE(active->isMinimized());
        QMdiSubWindow *now = form->MdiArea->activeSubWindow();
        TFrmData *inFront = form->DataWindows->Front();
        if (closed < clients.size()) {
            // Another one shown is in front, active, and its node is the one selected.
            ASSERT_TRUE(now && !now->isMinimized());
            ASSERT_NE(inFront, nullptr);
            EXPECT_EQ(inFront->Frame(), now);
            EXPECT_EQ(form->SelectedNode(), inFront->MySocket->Node);
        } else {
            // Every one is an icon: none is in front and no node is selected.
            EXPECT_EQ(inFront, nullptr);
            EXPECT_EQ(form->SelectedNode(), nullptr);
        }
    }
    // An icon's node selected brings its window back, and the tree agrees again.
    Select(clients[0]);
    DrainEvents();
    EXPECT_EQ(form->MdiArea->activeSubWindow(), clients[0]->DataWindow->Frame());
    EXPECT_FALSE(clients[0]->DataWindow->Frame()->isMinimized());
    EXPECT_EQ(form->SelectedNode(), clients[0]->Node);
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(DataWindowStack, TheNewestOrSelectedWindowIsShownAndTheOthersWait)
{
    EXPECT_TRUE(IsShownAlone(clients[3]->DataWindow));
    EXPECT_EQ(form->DataWindows->Count(), 4);
    for (int i : {0, 1, 2}) {
        EXPECT_TRUE(form->DataWindows->IsWaiting(clients[i]->DataWindow));
        EXPECT_FALSE(clients[i]->DataWindow->Frame()->isVisible());
    }

    // A window back from waiting is as it was: its system menu has its shortcuts again.
    auto shortcuts = [](QMdiSubWindow *w) {
        QList<QKeySequence> all;
        for (QAction *a : w->systemMenu()->actions())
            all += a->shortcuts();
        return all;
    };
    const QList<QKeySequence> asMade = shortcuts(clients[3]->DataWindow->Frame());
    EXPECT_FALSE(asMade.isEmpty());
    for (int i : {1, 0, 3, 1}) {
        SCOPED_TRACE(i);
        Select(clients[i]);
        EXPECT_TRUE(IsShownAlone(clients[i]->DataWindow));
        EXPECT_EQ(shortcuts(clients[i]->DataWindow->Frame()), asMade);
        EXPECT_EQ(form->DataWindows->Count(), 4);
    }

    // A waiting window keeps working: its status and counters are written as always.
    TFrmData *waiting = clients[2]->DataWindow;
    waiting->LogReceived("abc");
    RefreshStatus(clients[2]);
    EXPECT_EQ(waiting->RecvCount, 3);
    EXPECT_TRUE(waiting->LogText().endsWith(QStringLiteral("abc")));
    EXPECT_FALSE(waiting->Label3->text().isEmpty());
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(DataWindowStack, TheWindowBehindComesForwardWhenTheFrontOneIsClosedOrDeleted)
{
    Select(clients[1]);
    Select(clients[2]); // the order behind: 2, then 1, then 3, 0

    // Closing only minimises: the window behind comes forward, the closed one waits minimised.
    QPointer<TFrmData> closed = clients[2]->DataWindow;
    closed->Frame()->close();
    ASSERT_TRUE(WaitUntil([&] { return IsShownAlone(clients[1]->DataWindow); }));
    EXPECT_TRUE(closed->Frame()->isMinimized());
    EXPECT_TRUE(form->DataWindows->IsWaiting(closed));

    // Deleting the selected front window selects another node, whose window comes to the front.
    Select(clients[1]);
    form->Button2Click();
    EXPECT_EQ(form->SocketList.Count(), 3);
    TMySocket *selected = NodeInstance(form->TreeView1->currentItem());
    ASSERT_NE(selected, nullptr);
    EXPECT_TRUE(IsShownAlone(selected->DataWindow));
    DrainEvents();
    EXPECT_TRUE(IsShownAlone(selected->DataWindow));
    EXPECT_EQ(form->DataWindows->Count(), 3);

    // The minimised window is skipped; selecting its node brings it back, maximised.
    Select(clients[2]);
    EXPECT_TRUE(IsShownAlone(closed));
    EXPECT_FALSE(closed->Frame()->isMinimized());
}

TEST_F(DataWindowStack, WithNoWindowLeftToShowTheMinimisedOnesShowAsIcons)
{
    for (int i : {3, 2, 1, 0}) {
        Select(clients[i]);
        clients[i]->DataWindow->Frame()->close();
    }
    ASSERT_TRUE(WaitUntil([&] { return InArea().size() == 4; }));
    DrainEvents();
    EXPECT_EQ(InArea().size(), 4);
    for (TMySocket *c : clients) {
        EXPECT_TRUE(c->DataWindow->Frame()->isMinimized());
        EXPECT_TRUE(c->DataWindow->Frame()->isVisible());
        EXPECT_FALSE(form->DataWindows->IsWaiting(c->DataWindow));
    }

    // Selecting one brings it to the front; the icons wait behind it.
    Select(clients[2]);
    EXPECT_TRUE(IsShownAlone(clients[2]->DataWindow));
    EXPECT_EQ(form->DataWindows->Count(), 4);
}

TEST_F(DataWindowStack, RestoredFromMaximisedTheWindowsShowSideBySideUntilOneIsMaximisedAgain)
{
    // More windows than may be side by side at once.
    for (int i = 4; i < TDataWindowStack::SideBySideCap + 4; ++i)
        clients.push_back(form->CreateTcpClient(QStringLiteral("127.0.0.1"), 1000 + i));
    Select(clients[2]);
    TFrmData *front = clients[2]->DataWindow;

    // The restore button of its title bar.
    front->Frame()->showNormal();
    DrainEvents();
    ASSERT_TRUE(form->DataWindows->SideBySide());
    EXPECT_EQ(InArea().size(), TDataWindowStack::SideBySideCap);
    for (QMdiSubWindow *w : InArea())
        EXPECT_TRUE(w->isVisible() && !w->isMaximized() && !w->isMinimized() && w->widget()->isVisible());
    EXPECT_EQ(form->MdiArea->activeSubWindow(), front->Frame());
    // The most recent came, the oldest wait.
    EXPECT_TRUE(InArea().contains(clients.last()->DataWindow->Frame()));
    EXPECT_TRUE(form->DataWindows->IsWaiting(clients[0]->DataWindow));

    // A waiting window selected joins them at its normal size; a new one opens so too; the area
    // keeps to its cap.
    Select(clients[0]);
    TMySocket *late = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 999);
    DrainEvents();
    for (TFrmData *w : {clients[0]->DataWindow, late->DataWindow}) {
        EXPECT_TRUE(InArea().contains(w->Frame()));
        EXPECT_FALSE(w->Frame()->isMaximized());
    }
    EXPECT_EQ(InArea().size(), TDataWindowStack::SideBySideCap);
    EXPECT_EQ(form->DataWindows->Count(), form->SocketList.Count());

    // Clicked into, a window becomes the front one and the tree selects its node.
    form->MdiArea->setActiveSubWindow(front->Frame());
    EXPECT_EQ(form->TreeView1->currentItem(), clients[2]->Node);
    // Closed, it still only minimises.
    front->Frame()->close();
    DrainEvents();
    EXPECT_TRUE(front->Frame()->isMinimized());
    EXPECT_TRUE(InArea().contains(front->Frame()));

    // Maximising one makes it the only one shown again.
    TFrmData *one = clients[3]->DataWindow;
    Select(clients[3]);
    one->Frame()->showMaximized();
    DrainEvents();
    EXPECT_FALSE(form->DataWindows->SideBySide());
    EXPECT_TRUE(IsShownAlone(one));
    EXPECT_EQ(form->DataWindows->Count(), form->SocketList.Count());
    EXPECT_TRUE(recorder.all.isEmpty());
}

// ---- side by side: where the windows go ---------------------------------------------------

namespace {

// A TCP server, a TCP client and a UDP server, the client's window in front, in the largest main
// window the form allows on a screen of 1280 x 800.
class SideBySide : public testing_support::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        form->resize(1280, 800);
        // The create command shows the document area; the rest are made as it makes them.
        for (TMySocket *i : {CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QStringLiteral("0")}}),
                             form->CreateUdpServer(0), form->CreateTcpClient(QStringLiteral("127.0.0.1"), 9)}) {
            ASSERT_NE(i, nullptr);
            windows << i->DataWindow;
        }
        DrainEvents();
    }

    QWidget *Viewport() const { return form->MdiArea->viewport(); }
    bool InAreaAll() const
    {
        return std::all_of(windows.begin(), windows.end(),
                           [this](TFrmData *w) { return Viewport()->rect().contains(w->Frame()->geometry()); });
    }

    // Every control the window shows is whole and in sight in the area, the addresses and ports
    // readable, and the window inside the area.
    void ExpectWhole(TFrmData *w) const
    {
        SCOPED_TRACE(w->MySocket->Kind.toStdString());
        EXPECT_TRUE(Viewport()->rect().contains(w->Frame()->geometry()));
        const QWidget *controls[] = {w->Label1,   w->Label3,    w->Label4,    w->Label5,           w->Label6,
                                     w->Button5,  w->Button6,   w->Memo2,     w->Memo3,            w->Button11,
                                     w->Label7,   w->ComboBox2, w->CheckBox2, w->StatusBar2Panel0, w->Button2};
        for (const QWidget *control : controls) {
            if (control->isHidden())
                continue;
            QString why;
            EXPECT_TRUE(WhollyShown(control, Viewport(), &why)) << why.toStdString();
        }
        for (const QLabel *label : {w->Label1, w->Label3, w->Label4, w->Label6}) {
            const QFontMetrics metrics(label->font());
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width())
                << label->text().toStdString();
        }
    }

    QList<TFrmData *> windows;
};

} // namespace

TEST_F(SideBySide, ThreeWindowsRestoredShowEveryControlWholeInsideTheArea)
{
    ASSERT_EQ(form->size(), QSize(1024, 734)); // the form's largest
    TFrmData *front = windows.last();
    front->Frame()->showNormal();
    DrainEvents();
    ASSERT_TRUE(form->DataWindows->SideBySide());
    ASSERT_EQ(form->MdiArea->subWindowList().size(), 3);
    for (TFrmData *w : windows)
        ExpectWhole(w);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), front->Frame());

    // One made as small as it goes keeps its controls whole, inside its width.
    QMdiSubWindow *small = windows.first()->Frame();
    small->resize(small->minimumSizeHint());
    DrainEvents();
    ExpectWhole(windows.first());

    // The area grows smaller: they go anew, each still inside it.
    form->resize(723, 547);
    ASSERT_TRUE(WaitUntil([&] { return InAreaAll(); }));
    // Cascaded there: no two on one spot, the active one on top and whole.
    QList<QPoint> corners;
    for (TFrmData *w : windows)
        if (!corners.contains(w->Frame()->pos()))
            corners << w->Frame()->pos();
    EXPECT_EQ(corners.size(), 3);
    ExpectWhole(front);
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(SideBySide, WindowsThatJoinArePlacedWithTheOthers)
{
    windows.last()->Frame()->showNormal();
    DrainEvents();
    // A fourth window fills the grid; a fifth and sixth are cascaded, all inside the area.
    for (int i = 0; i < 3; ++i) {
        TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 10 + i);
        windows << client->DataWindow;
        DrainEvents();
        ASSERT_TRUE(form->DataWindows->SideBySide());
        ASSERT_TRUE(InAreaAll());
        if (i == 0) {
            for (TFrmData *w : windows)
                ExpectWhole(w);
        } else {
            ExpectWhole(windows.last());
        }
    }
    // The active window minimised: the others close up, above the row of its icon.
    QMdiSubWindow *icon = windows.last()->Frame();
    ASSERT_EQ(form->MdiArea->activeSubWindow(), icon);
    icon->showMinimized();
    DrainEvents();
    ASSERT_TRUE(icon->isMinimized());
    for (TFrmData *w : windows) {
        if (w->Frame() != icon) {
            EXPECT_FALSE(w->Frame()->geometry().intersects(icon->geometry()));
        }
    }
    EXPECT_TRUE(InAreaAll());
}

TEST_F(SideBySide, TheMainWindowClosesWithWindowsSideBySide)
{
    windows.last()->Frame()->showNormal();
    DrainEvents();
    // Freed first, the active window has the area activate another while every node is gone.
    form->MdiArea->setActiveSubWindow(windows.first()->Frame());
    ASSERT_EQ(form->TreeView1->currentItem(), windows.first()->MySocket->Node);
    int withNode = 0, fronts = 0;
    QObject::connect(form->DataWindows, &TDataWindowStack::frontChanged, [&](TFrmData *w) {
        ++fronts;
        withNode += w && w->MySocket && w->MySocket->Node;
    });
    form->close();
    // A window that comes to the front meanwhile has no node the tree could select: they are gone.
    EXPECT_GT(fronts, 0);
    EXPECT_EQ(withNode, 0);
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_TRUE(form->MdiArea->subWindowList().isEmpty());
}

// The click on a window behind makes it active first: it still goes to an icon, and the tree and
// the window in front agree afterwards.
TEST_F(DataWindowStack, SideBySideTheCloseBoxOfAWindowBehindSendsItToAnIcon)
{
    for (TMySocket *client : clients)
        Select(client);
    Select(clients[2]);
    clients[2]->DataWindow->Frame()->showNormal();
    DrainEvents();
    ASSERT_TRUE(form->DataWindows->SideBySide());
    QMdiSubWindow *behind = clients[0]->DataWindow->Frame();
    ASSERT_NE(form->MdiArea->activeSubWindow(), behind);
    ClickCloseBox(behind);
    DrainEvents();
    EXPECT_TRUE(behind->isMinimized());
    QMdiSubWindow *now = form->MdiArea->activeSubWindow();
    ASSERT_TRUE(now);
    EXPECT_FALSE(now->isMinimized());
    EXPECT_EQ(form->SelectedNode(), form->DataWindows->Front() ? form->DataWindows->Front()->MySocket->Node : nullptr);
    EXPECT_EQ(form->DataWindows->Front() ? form->DataWindows->Front()->Frame() : nullptr, now);
}
