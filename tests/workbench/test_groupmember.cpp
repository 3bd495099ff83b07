// Multicast group members made and deleted by the main window, in a private network namespace:
// what their data windows log, and how a failed open still leaves an instance and a node.

#include <gtest/gtest.h>

// Qt
#include <QLabel>
#include <QProcess>
#include <QTreeWidget>

#include "PrivateNetwork.h"
#include "TMySocket.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "LogView.h"
#include "datapanel.h"

using testing_support::DrainEvents;
using testing_support::MessageRecorder;
using testing_support::WaitUntil;

namespace {

const QString Group = QStringLiteral("239.1.2.3");
const QString Received = QStringLiteral(" 收到数据：");

// Every case runs in a network namespace of its own, so nothing can reach a real interface.
#define IN_PRIVATE_GROUP_NETWORK()                                                                \
    VELMORA_IN_PRIVATE_NETWORK();                                                                 \
    ASSERT_TRUE(testing_support::RouteMulticastToLoopback())

// A socket of another process in the group: joins, sends each text as one datagram, ends.
bool PeerSends(const QString &group, int32_t port, const QStringList &texts)
{
    static const char *script = "import socket, struct, sys\n"
                                "g, p = sys.argv[1], int(sys.argv[2])\n"
                                "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                "s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,\n"
                                "             struct.pack('4s4s', socket.inet_aton(g), bytes(4)))\n"
                                "for t in sys.argv[3:]:\n"
                                "    s.sendto(t.encode(), (g, p))\n";
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedChannels);
    peer.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), QString::fromLatin1(script), group,
                                                      QString::number(port)} + texts);
    if (!peer.waitForFinished(20000))
        return false;
    return peer.exitStatus() == QProcess::NormalExit && peer.exitCode() == 0;
}

class GroupMember : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm1>(); }
    void TearDown() override { form.reset(); }

    static QStringList logLines(const TMySocket *instance)
    {
        QStringList lines;
        instance->DataWindow->FlushLog();
        const TLogView *log = instance->DataWindow->Memo2;
        for (qsizetype i = 0; i < log->lineCount(); ++i)
            if (!log->line(i).isEmpty())
                lines << log->line(i);
        return lines;
    }
    // The data parts of the receive lines, in the order logged.
    static QStringList receivedData(const TMySocket *instance)
    {
        QStringList data;
        for (const QString &line : logLines(instance)) {
            const int at = line.indexOf(Received);
            data << (at < 0 ? QStringLiteral("<not a receive line: %1>").arg(line) : line.mid(at + Received.size()));
        }
        return data;
    }
    void remove(TMySocket *instance)
    {
        form->TreeView1->setCurrentItem(instance->Node);
        form->Button2Click();
    }

    MessageRecorder recorder;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(GroupMember, LogsItsOwnAndAPeersDatagramsEachOnItsOwnLine)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45101;
    TMySocket *member = form->CreateUdpGroup(Group, port);
    ASSERT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
    EXPECT_EQ(member->Kind, kind::UdpGroup);
    EXPECT_EQ(member->LocalAddress, Group);
    EXPECT_EQ(member->LocalPort, port);
    EXPECT_EQ(member->Node->text(0), QStringLiteral("239.1.2.3[45101]"));
    EXPECT_EQ(StateIndex(member->Node), state::Group);
    EXPECT_EQ(member->DataWindow->Label3->text(), QStringLiteral("组播地址:239.1.2.3"));
    EXPECT_EQ(member->DataWindow->Label4->text(), QStringLiteral("组播端口:45101"));

    // The member's own send comes back through the system's loop-back default.
    GroupSend(*member, "own");
    ASSERT_TRUE(WaitUntil([&] { return receivedData(member).size() == 1; }));
    const QString big(5000, QLatin1Char('x'));
    ASSERT_TRUE(PeerSends(Group, port, {QStringLiteral("peer one"), big, QStringLiteral("peer two")}));
    ASSERT_TRUE(WaitUntil([&] { return receivedData(member).size() == 4; }));
    GroupSend(*member, "last");
    ASSERT_TRUE(WaitUntil([&] { return receivedData(member).size() == 5; }));
    DrainEvents();

    QStringList data = receivedData(member);
    EXPECT_EQ(data.takeFirst(), QStringLiteral("own"));
    EXPECT_EQ(data.takeLast(), QStringLiteral("last"));
    data.sort();
    EXPECT_EQ(data, (QStringList{QStringLiteral("peer one"), QStringLiteral("peer two"), big}));
    const int64_t total = 3 + 8 + 5000 + 8 + 4;
    EXPECT_EQ(member->DataWindow->RecvCount, total);
    EXPECT_EQ(member->DataWindow->SendCount, 0);
    EXPECT_EQ(member->DataWindow->StatusBar2Panel0->text(), QStringLiteral("收：%1字节，发:0字节").arg(total));
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(GroupMember, SecondMemberOnTheSamePortGetsBindFailAndStillANode)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45102;
    form->CreateUdpGroup(Group, port);
    ASSERT_TRUE(recorder.all.isEmpty());
    TMySocket *second = form->CreateUdpGroup(Group, port);
    EXPECT_EQ(recorder.all, QStringList{QStringLiteral("bind fail")});

    EXPECT_EQ(form->SocketList.Count(), 2);
    ASSERT_NE(second->Node, nullptr);
    EXPECT_EQ(second->Node->parent(), form->CategoryNode(kind::UdpGroup));
    EXPECT_EQ(second->Node->text(0), QStringLiteral("239.1.2.3[45102]"));
    EXPECT_EQ(form->TreeView1->currentItem(), second->Node);
    EXPECT_EQ(second->DataWindow->MySocket, second);
}

TEST_F(GroupMember, AddressThatIsNoGroupIsToldAndStillMakesAnInstance)
{
    IN_PRIVATE_GROUP_NETWORK();
    TMySocket *member = form->CreateUdpGroup(QStringLiteral("10.0.0.1"), 45103);
    EXPECT_EQ(recorder.all, QStringList{QStringLiteral("无法进行UDP组播")});
    EXPECT_TRUE(form->SocketList.Contains(member));
    EXPECT_EQ(member->Node->text(0), QStringLiteral("10.0.0.1[45103]"));
    EXPECT_EQ(StateIndex(member->Node), state::Group);
    EXPECT_EQ(member->DataWindow->MySocket, member);
}

TEST_F(GroupMember, DeletingClosesTheSocketAndFreesThePort)
{
    IN_PRIVATE_GROUP_NETWORK();
    const int32_t port = 45104;
    TMySocket *member = form->CreateUdpGroup(Group, port);
    // Deleted with datagrams still waiting: none of them reaches anything afterwards.
    for (int i = 0; i < 3; ++i)
        GroupSend(*member, "waiting");
    remove(member);
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_EQ(form->CategoryNode(kind::UdpGroup)->childCount(), 0);
    DrainEvents();

    TMySocket *again = form->CreateUdpGroup(Group, port);
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
    GroupSend(*again, "again");
    ASSERT_TRUE(WaitUntil([&] { return receivedData(again).size() == 1; }));
    DrainEvents();
    EXPECT_EQ(receivedData(again), QStringList{QStringLiteral("again")});
}
