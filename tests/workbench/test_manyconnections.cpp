// Many connections to one TCP server instance with a real peer on 127.0.0.1: every one gets its
// node, window and instance while only the newest window is in the document area, and connections
// that come and go leave no node, window, instance, connection object or descriptor behind.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QMdiSubWindow>
#include <QDir>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "TMySocket.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
#include "TestPeer.h"
#include "TPaintThrottle.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "datapanel.h"
#include "MainWindowTest.h"
#include "Ports.h"

using namespace testing_support;

namespace {

int OpenDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

class ManyConnections : public testing_support::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        server = CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QStringLiteral("0")}});
        ASSERT_NE(server, nullptr);
        ASSERT_EQ(server->LinkState, 1);
        port = BoundPort(server);
        ASSERT_GT(port, 0);
        listener = qobject_cast<TServerSocket *>(server->Socket)->Socket();
    }

    int AcceptedCount() const { return form->SocketList.Count() - 1; }

    // Connects a named peer and waits until its connection is an instance.
    bool Accept(const QString &name)
    {
        const int before = AcceptedCount();
        return peer.Connect(name, port) > 0 && WaitUntil([&] { return AcceptedCount() == before + 1; });
    }

    // Nothing but the server is left, and its listening object lists no connection.
    bool OnlyTheServerLeft() const
    {
        return AcceptedCount() == 0 && server->Node->childCount() == 0 && listener->ActiveConnections() == 0
            && form->DataWindows->Count() == 1;
    }

    TestPeer peer;
    int port = 0;
    TMySocket *server = nullptr;
    TServerWinSocket *listener = nullptr;
};

} // namespace

TEST_F(ManyConnections, EachConnectionHasItsNodeAndWindowWhileOneWindowIsInTheArea)
{
    constexpr int Count = 100;
    for (int i = 0; i < Count; ++i)
        ASSERT_TRUE(Accept(QStringLiteral("c%1").arg(i))) << i;

    // Nodes of a quick succession go into the tree together, at most a period later.
    ASSERT_TRUE(WaitUntil([&] { return server->Node->childCount() == Count; })) << server->Node->childCount();
    // Painting held back while connections poured in is painted again once they stop.
    EXPECT_TRUE(WaitUntil([&] { return form->TreeView1->updatesEnabled() && form->MdiArea->updatesEnabled(); }));
    EXPECT_FALSE(form->AcceptPainting->Holding());
    EXPECT_EQ(form->DataWindows->Count(), Count + 1);
    EXPECT_EQ(form->MdiArea->subWindowList().size(), 1);
    QList<TFrmData *> windows;
    for (int i = 0; i < Count; ++i) {
        TMySocket *c = form->SocketList.Items(i + 1);
        ASSERT_EQ(c->Kind, kind::TcpServerClient);
        ASSERT_NE(c->DataWindow, nullptr);
        EXPECT_EQ(c->Node->parent(), server->Node);
        EXPECT_FALSE(windows.contains(c->DataWindow));
        windows << c->DataWindow;
    }
    EXPECT_EQ(form->DataWindows->Front(), windows.last());

    // The first connection's window waits behind all the others, and logs and counts all the same.
    ASSERT_TRUE(form->DataWindows->IsWaiting(windows.first()));
    ASSERT_TRUE(peer.Send("c0", "to the first"));
    ASSERT_TRUE(WaitUntil([&] { return windows.first()->RecvCount == 12; }));
    EXPECT_TRUE(windows.first()->LogText().endsWith(QStringLiteral("to the first")));

    // Stopping the server closes every connection: each takes its node, window and instance along.
    form->StopInstance(server);
    ASSERT_TRUE(WaitUntil([&] { return OnlyTheServerLeft(); }));
    EXPECT_EQ(form->DataWindows->Front(), server->DataWindow);
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(ManyConnections, AFrontWindowWhoseConnectionEndsMakesWayForTheOneBehind)
{
    ASSERT_TRUE(Accept("a"));
    ASSERT_TRUE(Accept("b"));
    TFrmData *a = form->SocketList.Items(1)->DataWindow;
    TFrmData *b = form->SocketList.Items(2)->DataWindow;
    ASSERT_EQ(form->DataWindows->Front(), b);
    // It comes to the front within a period of its accept, and is made then.
    ASSERT_TRUE(WaitUntil([&] { return b->IsBuilt() && b->Frame()->isVisible(); }));

    // Closing b's window brings a's forward, and the tree selects a's node with it.
    b->Frame()->close();
    ASSERT_TRUE(WaitUntil([&] { return form->DataWindows->Front() == a; }));
    EXPECT_EQ(NodeInstance(form->TreeView1->currentItem()), form->SocketList.Items(1));
    // a's peer goes with its selected node: the node the tree selects instead shows its window.
    ASSERT_TRUE(peer.Close("a"));
    ASSERT_TRUE(WaitUntil([&] { return form->DataWindows->Count() == 2; }));
    DrainEvents();
    TMySocket *selected = NodeInstance(form->TreeView1->currentItem());
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(form->DataWindows->Front(), selected->DataWindow);
    EXPECT_EQ(form->MdiArea->subWindowList(), QList<QMdiSubWindow *>{selected->DataWindow->Frame()});
    EXPECT_TRUE(selected->DataWindow->Frame()->isVisible() && selected->DataWindow->Frame()->isMaximized());
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(ManyConnections, ConnectAndCloseCyclesLeaveNothingBehind)
{
    constexpr int Cycles = 200;
    // One cycle first: whatever the toolkit opens once for good is not counted.
    ASSERT_TRUE(Accept("warm-up"));
    ASSERT_TRUE(peer.Close("warm-up"));
    ASSERT_TRUE(WaitUntil([&] { return OnlyTheServerLeft(); }));
    DrainEvents();
    const int descriptors = OpenDescriptors();

    for (int i = 0; i < Cycles; ++i) {
        const QString name = QStringLiteral("c%1").arg(i);
        ASSERT_TRUE(Accept(name)) << i;
        // Every other one says something before it goes, and half of them reset.
        if (i % 2) {
            ASSERT_TRUE(peer.Send(name, "bye"));
        }
        ASSERT_TRUE(i % 4 == 3 ? peer.Reset(name) : peer.Close(name));
        ASSERT_TRUE(WaitUntil([&] { return OnlyTheServerLeft(); })) << i;
    }
    DrainEvents();

    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_TRUE(OnlyTheServerLeft());
    EXPECT_EQ(form->SocketList.Count(), 1);
    EXPECT_EQ(form->MdiArea->subWindowList().size(), 1);
    EXPECT_EQ(form->DataWindows->Front(), server->DataWindow);
    EXPECT_EQ(server->LinkState, 1);
    // Errors of accepted connections reach the user: one box for each reset, nothing else.
    EXPECT_EQ(recorder.errors,
              QStringList(Cycles / 4, QStringLiteral("Windows socket error: Connection reset by peer (10054), on API 'recv'")));
    EXPECT_TRUE(recorder.messages.isEmpty());
}
