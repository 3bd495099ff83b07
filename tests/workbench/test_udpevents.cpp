// UDP clients and UDP servers in the main window, against an outside python3 peer: received
// datagrams are logged whole in the instance's window with its counters, a UDP server takes
// each sender as its peer and answers it, and deleting an instance gives its port back.

#include <gtest/gtest.h>

// Qt
#include <QBuffer>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "Expected.h"
#include "PortProbe.h"
#include "PrivateNetwork.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "UdpPeer.h"
#include "datapanel.h"

using testing_support::CountersText;
using testing_support::DrainEvents;
using testing_support::HexBlockText;
using testing_support::MessageRecorder;
using testing_support::UdpPeer;
using testing_support::WaitUntil;

namespace {

const QString ReceiveLabel = QStringLiteral(" 收到数据：");

// Receive lines in the window's log (received text keeps its own line breaks).
int ReceiveLineCount(TFrmData *window)
{
    return window->LogText().count(ReceiveLabel);
}

// A port no socket holds at the moment: only inside a private network, where no other test runs.
int32_t FreePort()
{
    TNMUDP probe;
    probe.setLocalPort(0);
    const int port = probe.BoundPort();
    ws::closesocket(probe.Handle());
    return port;
}

class UdpEvents : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm1>(); }
    void TearDown() override { form.reset(); }

    void Delete(TMySocket *instance)
    {
        form->TreeView1->setCurrentItem(instance->Node);
        form->Button2Click();
    }

    MessageRecorder recorder;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(UdpEvents, ClientLogsEachDatagramWholeWithItsCounters)
{
    TMySocket *client = form->CreateUdpClient(QStringLiteral("127.0.0.1"), 9, 0);
    ASSERT_EQ(client->Socket, client->UdpClient);
    ASSERT_NE(client->UdpClient, nullptr);
    EXPECT_EQ(client->LocalPort, 0);
    EXPECT_EQ(client->UdpClient->RemoteHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(client->UdpClient->RemotePort(), 9);
    TFrmData *window = client->DataWindow;
    window->CheckBox2->setChecked(true); // the hex block shows every byte exactly

    // Beyond the 2048 bytes the original buffer held, up to the largest datagram.
    const QList<int> sizes{1, 2049, TNMUDP::MaxDatagram};
    auto peer = UdpPeer::Sender(client->UdpClient->BoundPort(), sizes);
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitUntil([&] { return ReceiveLineCount(window) >= sizes.size(); }));
    peer->WaitFinished();
    DrainEvents();

    const QString log = window->LogText();
    ASSERT_EQ(ReceiveLineCount(window), sizes.size());
    int64_t total = 0;
    qsizetype at = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        // Each line: the label, then the hex block of exactly this datagram.
        const QString head = ReceiveLabel + HexBlockText(UdpPeer::Pattern(sizes[i]));
        const qsizetype found = log.indexOf(head, at);
        EXPECT_GE(found, at) << "datagram " << i;
        at = std::max(at, found + 1);
        total += sizes[i];
    }
    EXPECT_EQ(window->RecvCount, total);
    EXPECT_EQ(window->SendCount, 0);
    EXPECT_EQ(window->StatusBar2Panel0->text(), CountersText(total, 0));
    // A client's peer is the one it was made with, whoever sends to it.
    EXPECT_EQ(client->RemoteHost, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(client->RemotePort, 9);
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(UdpEvents, ServerTakesEachSenderAsItsPeerAndAnswersTheLast)
{
    TMySocket *server = form->CreateUdpServer(0);
    ASSERT_EQ(server->Socket, server->UdpServer);
    TNMUDP *udp = server->UdpServer;
    TFrmData *window = server->DataWindow;
    EXPECT_EQ(window->Label3->text(), QStringLiteral("对方IP:"));
    EXPECT_EQ(window->Label4->text(), QStringLiteral("对方端口:0"));
    EXPECT_TRUE(udp->RemoteHost().isEmpty());

    struct Sender {
        QString address;
        int size;
    };
    const Sender senders[] = {{QStringLiteral("127.0.0.1"), 3}, {QStringLiteral("127.0.0.2"), 4}};
    std::vector<std::unique_ptr<UdpPeer>> peers;
    for (const Sender &s : senders) {
        peers.push_back(UdpPeer::Sender(udp->BoundPort(), {s.size}, s.address, 1));
        ASSERT_TRUE(peers.back());
        const int port = peers.back()->Port();
        ASSERT_TRUE(WaitUntil([&] { return server->RemotePort == port; }));
        EXPECT_EQ(server->RemoteHost, s.address);
        EXPECT_EQ(udp->RemoteHost(), s.address);
        EXPECT_EQ(udp->RemotePort(), port);
        EXPECT_EQ(window->Label3->text(), QStringLiteral("对方IP:") + s.address);
        EXPECT_EQ(window->Label4->text(), QStringLiteral("对方端口:") + QString::number(port));
    }
    EXPECT_EQ(window->RecvCount, 7);
    EXPECT_EQ(ReceiveLineCount(window), 2);

    // The answer goes to the second sender only.
    QBuffer answer;
    answer.setData("answer");
    udp->SendStream(answer);
    ASSERT_TRUE(peers[1]->WaitLines(1));
    EXPECT_EQ(peers[1]->Lines().first(), UdpPeer::LineFor("answer", udp->BoundPort()));
    EXPECT_TRUE(peers[0]->Lines().isEmpty());
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(UdpEvents, DeletingAnInstanceGivesItsPortBack)
{
    // Ports free a moment ago, given back and bound again: a network of the test's own.
    VELMORA_IN_PRIVATE_NETWORK();
    struct Row {
        const char *name;
        std::function<TMySocket *(TForm1 &, int32_t)> create;
    };
    const Row rows[] = {
        {"UDP Client", [](TForm1 &f, int32_t port) { return f.CreateUdpClient(QStringLiteral("127.0.0.1"), 9, port); }},
        {"UDP Server", [](TForm1 &f, int32_t port) { return f.CreateUdpServer(port); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const int32_t port = FreePort();
        TMySocket *instance = row.create(*form, port);
        EXPECT_EQ(instance->LocalPort, port);
        EXPECT_TRUE(IsLocalPortTaken(port));

        // Datagrams still waiting when the instance goes are dropped with its socket.
        auto peer = UdpPeer::Sender(port, {5, 6});
        ASSERT_TRUE(peer && peer->WaitFinishedHoldingEvents());
        Delete(instance);
        DrainEvents();
        EXPECT_EQ(form->SocketList.Count(), 0);

        EXPECT_FALSE(IsLocalPortTaken(port));
        TMySocket *again = row.create(*form, port);
        EXPECT_EQ((again->UdpClient ? again->UdpClient : again->UdpServer)->BoundPort(), port);
        Delete(again);
    }
    EXPECT_TRUE(recorder.all.isEmpty());
}
