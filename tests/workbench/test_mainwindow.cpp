// The main window: category nodes, the create / delete / select operations on the tree, and the
// placeholder panel.

#include <gtest/gtest.h>

// Qt
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "TMySocket.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "datapanel.h"

namespace {

// The create command shows its dialog modally: end the next one with Cancel once it is up.
void CancelNextDialog()
{
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->done(2);
    });
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm1>(); }
    void TearDown() override { form.reset(); }

    QTreeWidgetItem *category(const QString &k) { return form->CategoryNode(k); }
    void select(QTreeWidgetItem *node) { form->TreeView1->setCurrentItem(node); }

    std::unique_ptr<TForm1> form;
    testing_support::MessageRecorder recorder;
};

} // namespace

TEST_F(MainWindow, WindowAndCategoriesAsDesigned)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora V2.2"));
    EXPECT_EQ(form->size(), QSize(723, 547));
    EXPECT_EQ(form->minimumSize(), QSize(125, 50));
    EXPECT_EQ(form->maximumSize(), QSize(1024, 734));
    EXPECT_EQ(form->Button1->text(), QStringLiteral("创建"));
    EXPECT_EQ(form->Button2->text(), QStringLiteral("删除"));
    EXPECT_EQ(form->Button8->text(), QStringLiteral("退出"));
    EXPECT_TRUE(form->StatusBar1->isHidden());
    EXPECT_TRUE(form->Button5->isHidden());
    EXPECT_TRUE(form->Button6->isHidden());

    const QStringList expected{"TCP Server", "TCP Client", "UDP Server", "UDP Client", "UDP Group"};
    ASSERT_EQ(form->TreeView1->topLevelItemCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QTreeWidgetItem *node = form->TreeView1->topLevelItem(i);
        EXPECT_EQ(node->text(0), expected[i]);
        EXPECT_EQ(StateIndex(node), state::Category);
        EXPECT_EQ(NodeInstance(node), nullptr);
    }
}

TEST_F(MainWindow, InstancesGetCaptionStateNodeAndWindow)
{
    TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    TMySocket *udp = form->CreateUdpClient(QStringLiteral("host.example"), 7000, 10000);
    TMySocket *group = form->CreateUdpGroup(QStringLiteral("224.1.1.1"), 65000);

    EXPECT_EQ(client->Kind, kind::TcpClient);
    EXPECT_EQ(client->Node->text(0), QStringLiteral("127.0.0.1[6000]"));
    EXPECT_EQ(client->Node->parent(), category(kind::TcpClient));
    EXPECT_EQ(StateIndex(client->Node), state::NotConnected);
    EXPECT_EQ(udp->Node->text(0), QStringLiteral("host.example[7000]"));
    EXPECT_EQ(StateIndex(udp->Node), state::Udp);
    EXPECT_EQ(group->Node->text(0), QStringLiteral("224.1.1.1[65000]"));
    EXPECT_EQ(StateIndex(group->Node), state::Group);
    EXPECT_EQ(group->LocalPort, 65000);
    EXPECT_EQ(group->LocalAddress, QStringLiteral("224.1.1.1"));

    for (TMySocket *i : {client, udp, group}) {
        EXPECT_EQ(NodeInstance(i->Node), i);
        ASSERT_NE(i->DataWindow, nullptr);
        EXPECT_EQ(i->DataWindow->MySocket, i);
        EXPECT_FALSE(i->CreatedAt.isEmpty());
        EXPECT_EQ(i->LinkState, 0);
    }
    EXPECT_EQ(form->SocketList.Count(), 3);
    // The newest instance's node is selected and its category expanded.
    EXPECT_EQ(form->TreeView1->currentItem(), group->Node);
    EXPECT_TRUE(category(kind::UdpGroup)->isExpanded());
}

TEST_F(MainWindow, TwoInstancesWithTheSameCaptionAreKeptApart)
{
    TMySocket *a = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    TMySocket *b = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    ASSERT_NE(a, b);
    select(a->Node);
    form->Button2Click();
    EXPECT_EQ(form->SocketList.Count(), 1);
    EXPECT_EQ(form->SocketList.Items(0), b);
    EXPECT_EQ(category(kind::TcpClient)->childCount(), 1);
    EXPECT_EQ(category(kind::TcpClient)->child(0), b->Node);
}

TEST_F(MainWindow, PlaceholderShownExactlyWhileNoInstanceExists)
{
    form->show();
    EXPECT_TRUE(form->Panel3->isVisible());
    form->CreateUdpServer(60000);
    select(category(kind::UdpServer));
    CancelNextDialog();
    form->Button1Click(); // cancelled dialog: nothing is made, the rule is applied again
    EXPECT_FALSE(form->Panel3->isVisible());

    TMySocket *second = form->CreateTcpClient(QStringLiteral("a"), 1);
    select(second->Node);
    form->Button2Click();
    EXPECT_FALSE(form->Panel3->isVisible());
    select(form->SocketList.Items(0)->Node);
    form->Button2Click();
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_TRUE(form->Panel3->isVisible());
}

TEST_F(MainWindow, CategoryNodesCannotBeDeletedOrUsedAsInstances)
{
    form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    for (const QString &k : {kind::TcpServer, kind::TcpClient, kind::UdpServer, kind::UdpClient, kind::UdpGroup}) {
        select(category(k));
        form->Button2Click();
        form->Button6Click();
        form->TreeView1Change(category(k));
    }
    EXPECT_EQ(form->TreeView1->topLevelItemCount(), 5);
    EXPECT_EQ(form->SocketList.Count(), 1);
    EXPECT_EQ(category(kind::TcpClient)->childCount(), 1);
}

TEST_F(MainWindow, CreateWithNothingSelectedDoesNothing)
{
    form->TreeView1->setCurrentItem(nullptr);
    form->Button1Click();
    EXPECT_EQ(form->TreeView1->currentItem(), nullptr);
    EXPECT_TRUE(form->SocketList.IsEmpty());
}

TEST_F(MainWindow, CreateWithAnInstanceSelectedGoesToItsCategory)
{
    TMySocket *udp = form->CreateUdpClient(QStringLiteral("127.0.0.1"), 1, 2);
    select(udp->Node);
    CancelNextDialog();
    form->Button1Click();
    EXPECT_EQ(form->TreeView1->currentItem(), category(kind::UdpClient));
}

TEST_F(MainWindow, DeleteRemovesInstanceNodeAndWindow)
{
    TMySocket *udp = form->CreateUdpServer(60000);
    QPointer<TFrmData> window = udp->DataWindow;
    select(udp->Node);
    form->Button2Click();
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_EQ(category(kind::UdpServer)->childCount(), 0);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(form->MdiArea->subWindowList().isEmpty());
}

TEST_F(MainWindow, SelectingANodeBringsItsWindowToTheFront)
{
    TMySocket *a = form->CreateUdpServer(60001);
    TMySocket *b = form->CreateUdpServer(60002);
    form->show();
    select(a->Node);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), a->DataWindow);
    select(b->Node);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), b->DataWindow);
}

TEST_F(MainWindow, ClosingADataWindowOnlyMinimisesIt)
{
    TMySocket *a = form->CreateUdpServer(60001);
    form->show();
    a->DataWindow->close();
    EXPECT_TRUE(a->DataWindow->isMinimized());
    EXPECT_EQ(form->SocketList.Count(), 1);
}
