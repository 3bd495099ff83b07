// The stop command by kind, reached from the tool bar for the selected node and from a data
// window's stop button for that window's own instance.

#include <gtest/gtest.h>

// Qt
#include <QMdiSubWindow>
#include <QLabel>
#include <QMdiArea>
#include <QTest>
#include <QTreeWidget>

#include "TMySocket.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "TsuiButton.h"
#include "Unit1.h"
#include "datapanel.h"
#include "MainWindowTest.h"

namespace {

using testing_support::DrainEvents;

class StopInstance : public testing_support::MainWindowTest {
protected:
    // A TCP client as its connect event leaves it.
    TMySocket *connectedClient(int port)
    {
        TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), port);
        client->LinkState = 1;
        SetStateIndex(client->Node, state::Connected);
        RefreshStatus(client);
        return client;
    }

};

TEST_F(StopInstance, DataWindowStopsItsOwnInstanceWhateverIsSelected)
{
    TMySocket *own = connectedClient(6000);
    TMySocket *selected = connectedClient(6001);
    form->TreeView1->setCurrentItem(selected->Node);

    QTest::mouseClick(own->DataWindow->Button6, Qt::LeftButton);
    DrainEvents();
    EXPECT_EQ(own->LinkState, 0);
    EXPECT_EQ(own->DataWindow->Label1->text(), QStringLiteral("已断开"));
    EXPECT_TRUE(own->DataWindow->Button5->isEnabled());
    EXPECT_EQ(selected->LinkState, 1);
    EXPECT_EQ(selected->DataWindow->Label1->text(), QStringLiteral("已连接"));
    EXPECT_EQ(form->SocketList.Count(), 2);
}

TEST_F(StopInstance, ToolBarStopActsOnTheSelectedNodeByKind)
{
    TMySocket *a = connectedClient(6000);
    TMySocket *b = connectedClient(6001);
    TMySocket *server = form->CreateTcpServer(0);
    TMySocket *udp = form->CreateUdpServer(0);
    server->LinkState = 1;
    SetStateIndex(server->Node, state::Listening);
    udp->LinkState = 1; // only the TCP kinds use it: a stop must leave it

    for (TMySocket *i : {a, server, udp}) {
        form->TreeView1->setCurrentItem(i->Node);
        form->Button6Click();
    }
    form->TreeView1->setCurrentItem(form->CategoryNode(kind::TcpClient));
    form->Button6Click();

    EXPECT_EQ(a->LinkState, 0);
    EXPECT_EQ(b->LinkState, 1);
    EXPECT_EQ(server->LinkState, 0);
    EXPECT_EQ(StateIndex(server->Node), state::Stopped);
    EXPECT_EQ(server->DataWindow->Label1->text(), QStringLiteral("已停止"));
    EXPECT_EQ(udp->LinkState, 1);
    EXPECT_EQ(StateIndex(udp->Node), state::Udp);
}

TEST_F(StopInstance, HookEndsWithTheMainWindow)
{
    TMySocket loose;
    loose.Kind = kind::TcpClient;
    loose.LinkState = 1;
    form.reset();
    QMdiArea area;
    auto *window = new TFrmData(&area);
    window->Build()->showMaximized();
    window->MySocket = &loose;
    window->Button6MouseUp();
    EXPECT_EQ(loose.LinkState, 1);
}

} // namespace
