// A TCP server that keeps its closed connections ("保留已断开的连接" in its window's log menu):
// a connection whose peer hung up stays in the tree, greyed and "not connected", with its window
// and log, takes no more network events and sends nothing, until the user deletes it or its
// server. Off (as at the start), a closed connection goes at once. Real peers on 127.0.0.1.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>
#include <QLabel>

#include "CreateCommand.h"
#include "LogView.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "TMySocket.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "TsuiButton.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

// The log box's context menu, opened as the user opens it (deleted with the unique pointer).
std::unique_ptr<QMenu> LogMenu(TFrmData *w)
{
    QWidget *port = w->Memo2->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), port->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(port, &event);
    std::unique_ptr<QMenu> menu(w->Memo2->findChild<QMenu *>());
    if (menu)
        menu->close();
    return menu;
}

const QString KeepEntry = QStringLiteral("保留已断开的连接");

class KeptConnections : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        server = CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QStringLiteral("0")}});
        ASSERT_NE(server, nullptr);
        port = BoundPort(server);
        ASSERT_GT(port, 0);
    }

    QList<TMySocket *> Accepted() const
    {
        QList<TMySocket *> result;
        for (int i = 0; i < form->SocketList.Count(); ++i)
            if (form->SocketList.Items(i)->Kind == kind::TcpServerClient)
                result << form->SocketList.Items(i);
        return result;
    }

    // A peer connects and says hello; its connection's instance, once in the tree.
    TMySocket *Connected(const QString &name)
    {
        const int before = Accepted().size();
        EXPECT_GT(peer.Connect(name, port), 0);
        EXPECT_TRUE(WaitUntil([&] { return Accepted().size() == before + 1 && Accepted().last()->Node->treeWidget(); }));
        TMySocket *instance = Accepted().value(before);
        EXPECT_TRUE(peer.Send(name, "hello " + name.toLatin1()));
        EXPECT_TRUE(WaitUntil([&] { return instance && instance->DataWindow->RecvCount > 0; }));
        return instance;
    }

    // The server window's log menu, as the user opens it; the entry's state when it is there.
    bool MenuOffers(bool *checked)
    {
        const std::unique_ptr<QMenu> menu = LogMenu(ShowWindow(*form, server));
        for (QAction *a : menu ? menu->actions() : QList<QAction *>())
            if (a->text() == KeepEntry) {
                *checked = a->isChecked();
                return a->isCheckable();
            }
        return false;
    }

    void SwitchKeeping()
    {
        TFrmData *w = ShowWindow(*form, server);
        ASSERT_TRUE(ChooseContextMenuEntry(w->Memo2, {KeepEntry}));
        DrainEvents();
    }

    TMySocket *server = nullptr;
    int port = 0;
    TestPeer peer;
};

} // namespace

TEST_F(KeptConnections, OffAtTheStartAClosedConnectionGoesAtOnce)
{
    bool checked = true;
    ASSERT_TRUE(MenuOffers(&checked));
    EXPECT_FALSE(checked);
    TMySocket *a = Connected(QStringLiteral("a"));
    const QPointer<TFrmData> window = a->DataWindow;
    ASSERT_TRUE(peer.Close(QStringLiteral("a")));
    ASSERT_TRUE(WaitUntil([&] { return Accepted().isEmpty(); }));
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(server->Node->childCount(), 0);
    // Only a server's window offers the entry.
    TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), port);
    const std::unique_ptr<QMenu> menu = LogMenu(ShowWindow(*form, client));
    ASSERT_NE(menu, nullptr);
    for (QAction *action : menu->actions())
        EXPECT_NE(action->text(), KeepEntry);
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(KeptConnections, AClosedConnectionStaysGreyedWithItsLogUntilDeleted)
{
    SwitchKeeping();
    bool checked = false;
    ASSERT_TRUE(MenuOffers(&checked));
    EXPECT_TRUE(checked);

    TMySocket *a = Connected(QStringLiteral("a"));
    TMySocket *b = Connected(QStringLiteral("b"));
    const QPointer<TFrmData> aWindow = a->DataWindow;
    const QColor connectedColour = a->Node->foreground(0).color();
    ASSERT_TRUE(peer.Close(QStringLiteral("a")));
    ASSERT_TRUE(WaitUntil([&] { return a->LinkState == 0; }));
    DrainEvents();

    // Still there, greyed, "not connected", its log readable.
    ASSERT_TRUE(form->SocketList.Contains(a));
    EXPECT_EQ(a->Node->parent(), server->Node);
    EXPECT_EQ(StateIndex(a->Node), state::NotConnected);
    EXPECT_EQ(a->Node->foreground(0).color(), form->TreeView1->palette().color(QPalette::Disabled, QPalette::Text));
    EXPECT_NE(a->Node->foreground(0).color(), connectedColour);
    EXPECT_EQ(a->Socket, nullptr);
    TFrmData *w = ShowWindow(*form, a);
    ASSERT_EQ(w, aWindow);
    EXPECT_TRUE(w->LogText().contains(QStringLiteral("hello a")));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("已断开"));
    EXPECT_FALSE(w->Button6->isEnabled());

    // Its send finds no link.
    w->Memo3->setPlainText(QStringLiteral("late"));
    QTest::mouseClick(w->Button11, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !recorder.messages.isEmpty(); }));
    EXPECT_EQ(recorder.messages, QStringList{QStringLiteral("未连接,数据未发送!")});
    EXPECT_EQ(w->SendCount, 0);

    // "删除" takes it away; the other connection stays.
    form->TreeView1->setCurrentItem(a->Node);
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    DrainEvents();
    EXPECT_FALSE(form->SocketList.Contains(a));
    EXPECT_TRUE(aWindow.isNull());
    EXPECT_EQ(server->Node->childCount(), 1);
    EXPECT_EQ(b->LinkState, 1);
}

TEST_F(KeptConnections, DeletingTheServerDeletesItsKeptConnectionsAndSwitchedOffTheyGoAgain)
{
    SwitchKeeping();
    TMySocket *a = Connected(QStringLiteral("a"));
    Connected(QStringLiteral("b"));
    ASSERT_TRUE(peer.Close(QStringLiteral("a")));
    ASSERT_TRUE(WaitUntil([&] { return a->LinkState == 0; }));

    // Off again: a connection that closes from now goes; the kept one stays.
    SwitchKeeping();
    ASSERT_TRUE(peer.Close(QStringLiteral("b")));
    ASSERT_TRUE(WaitUntil([&] { return Accepted().size() == 1; }));
    EXPECT_EQ(Accepted().value(0), a);

    // On, with one open and one kept: deleting the server takes all of them.
    SwitchKeeping();
    Connected(QStringLiteral("c"));
    const QPointer<TFrmData> kept = a->DataWindow;
    form->TreeView1->setCurrentItem(server->Node);
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    DrainEvents();
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_TRUE(kept.isNull());
    EXPECT_EQ(form->CategoryNode(kind::TcpServer)->childCount(), 0);
    EXPECT_TRUE(peer.WaitEof(QStringLiteral("c")));
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(KeptConnections, StoppingTheServerKeepsItsConnectionsAndQuittingWithThemIsClean)
{
    SwitchKeeping();
    Connected(QStringLiteral("a"));
    Connected(QStringLiteral("b"));
    TFrmData *w = ShowWindow(*form, server);
    w->Button6MouseUp();
    DrainEvents();
    ASSERT_EQ(Accepted().size(), 2);
    for (TMySocket *kept : Accepted()) {
        EXPECT_EQ(kept->LinkState, 0);
        EXPECT_EQ(StateIndex(kept->Node), state::NotConnected);
        EXPECT_TRUE(kept->DataWindow->LogText().contains(QStringLiteral("hello")));
    }
    form->close();
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_TRUE(recorder.all.isEmpty());
}
