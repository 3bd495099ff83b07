// The ends of an endpoint's life as users reach them: quitting with everything live, quitting
// while a send is under way, and a data window closed or minimised and selected again.

#include <gtest/gtest.h>

// Qt
#include <QMdiSubWindow>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "LogView.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "SendWaits.h"
#include "TCustomWinSocket.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TServerSocket.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "TsuiButton.h"
#include "UdpPeer.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

// Sockets of this process (the event loop's own sockets come and stay with the application).
int OpenSockets()
{
    int n = 0;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::NoDotAndDotDot | QDir::System))
        n += fd.symLinkTarget().contains(QLatin1String("socket:["));
    return n;
}

class Lifecycle : public MainWindowTest {
protected:
    TMySocket *ListeningServer()
    {
        TMySocket *server = form->CreateTcpServer(0);
        EXPECT_EQ(server->LinkState, 1);
        port = BoundPort(server);
        EXPECT_GT(port, 0);
        return server;
    }

    // A repeat count of 1 KiB sends that the connection cannot take while the peer reads nothing.
    QString RepeatThatCannotFinish(TMySocket *accepted, const QString &name)
    {
        const ws::TSocket sender = qobject_cast<TCustomWinSocket *>(accepted->Socket)->SocketHandle();
        return QString::number(MoreThanTcpBuffersHold(SendBufferOf(sender), peer.ReceiveBuffer(name)) / 1024 + 1);
    }

    TMySocket *AcceptedFrom(TMySocket *server, const QString &name)
    {
        const int before = server->Node->childCount();
        EXPECT_GT(peer.Connect(name, port), 0);
        EXPECT_TRUE(WaitUntil([&] { return server->Node->childCount() == before + 1; }));
        return NodeInstance(server->Node->child(before));
    }

    TestPeer peer;
    int port = 0;
};

} // namespace

TEST_F(Lifecycle, ClosingTheMainWindowWithEveryKindLiveClosesEverySocket)
{
    const int sockets = OpenSockets();
    TMySocket *server = ListeningServer();
    TMySocket *accepted = AcceptedFrom(server, "a");
    ASSERT_NE(accepted, nullptr);
    TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), port);
    client->DataWindow->Button5Click();
    ASSERT_TRUE(WaitUntil([&] { return client->LinkState == 1 && server->Node->childCount() == 2; }));
    form->CreateUdpServer(0);
    form->CreateUdpClient(QStringLiteral("127.0.0.1"), 9, 0);
    const QPointer<TFrmData> window = accepted->DataWindow;

    form->close();
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(peer.WaitEof("a"));
    DrainEvents();
    EXPECT_EQ(OpenSockets(), sockets);
    form.reset(); // reads nothing that was freed
}

TEST_F(Lifecycle, ClosingTheMainWindowWhileAConnectionsWindowSendsToAPeerThatDoesNotReadEndsTheSend)
{
    TMySocket *server = ListeningServer();
    TMySocket *accepted = AcceptedFrom(server, "a");
    ASSERT_NE(accepted, nullptr);
    const QPointer<TFrmData> window = accepted->DataWindow;
    window->Memo3->setPlainText(QString(1024, QLatin1Char('x')));
    window->ComboBox2->setCurrentText(RepeatThatCannotFinish(accepted, QStringLiteral("a")));
    // The peer reads nothing, so the send soon waits: then the window is closed.
    Trigger closing(Waiting(window), [&] { form->close(); });
    window->Button11Click();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(form->SocketList.IsEmpty());
}

// The program's own loop, in a process of its own: "退出" pressed while a send waits ends the
// loop with status 0, and the main window's end after it reads nothing freed.
TEST_F(Lifecycle, TheExitButtonPressedWhileASendWaitsEndsTheProgramWithStatusZero)
{
    if (!qEnvironmentVariableIsSet("VELMORA_OWN_LOOP")) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_OWN_LOOP"), QStringLiteral("1"));
        for (const char *v : {"GTEST_OUTPUT", "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS", "GTEST_SHARD_STATUS_FILE"})
            env.remove(QString::fromLatin1(v));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=Lifecycle.TheExitButtonPressedWhileASendWaitsEndsTheProgramWithStatusZero")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
        return;
    }
    TMySocket *server = ListeningServer();
    TMySocket *accepted = AcceptedFrom(server, "a");
    ASSERT_NE(accepted, nullptr);
    const QPointer<TFrmData> window = accepted->DataWindow;
    window->Memo3->setPlainText(QString(1024, QLatin1Char('x')));
    window->ComboBox2->setCurrentText(RepeatThatCannotFinish(accepted, QStringLiteral("a")));
    QTimer::singleShot(0, window, [&] {
        // "退出" once the send waits, from inside it.
        bool exited = false;
        Trigger exiting(Waiting(window), [&] {
            exited = true;
            form->Button8Click();
        });
        window->Button11Click();
        if (!exited) {
            ADD_FAILURE() << "the send finished without waiting";
            QCoreApplication::exit(1);
        }
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(window.isNull());
    form.reset();
}

TEST_F(Lifecycle, ADataWindowClosedOrMinimisedComesBackWholeWhenItsNodeIsSelected)
{
    for (const bool minimise : {false, true}) {
        SCOPED_TRACE(minimise ? "minimised" : "closed by its close box");
        form = std::make_unique<TForm1>();
        form->show();
        const auto udpServer = [&] {
            return CreateThroughDialog(*form, kind::UdpServer,
                                       {{QStringLiteral("Edit3"), QStringLiteral("0")}});
        };
        TMySocket *first = udpServer();
        TMySocket *second = udpServer();
        ASSERT_TRUE(first && second);
        for (TMySocket *s : {first, second}) {
            auto peer = UdpPeer::Sender(s->UdpServer->BoundPort(), {3});
            ASSERT_TRUE(peer && peer->WaitFinished());
            ASSERT_TRUE(WaitUntil([&] { return s->DataWindow->RecvCount == 3; }));
        }
        TFrmData *window = first->DataWindow;
        form->TreeView1->setCurrentItem(first->Node);
        if (minimise)
            window->Frame()->showMinimized();
        else
            window->Frame()->close();
        // The tree and the window in front agree at every step.
        ASSERT_TRUE(WaitUntil([&] { return form->DataWindows->Front() == second->DataWindow; }));
        EXPECT_EQ(form->TreeView1->currentItem(), second->Node);

        form->TreeView1->setCurrentItem(second->Node);
        form->TreeView1->setCurrentItem(first->Node);
        DrainEvents();
        EXPECT_EQ(form->DataWindows->Front(), window);
        EXPECT_TRUE(window->Frame()->isMaximized());
        const QList<QWidget *> parts{window->Frame()->widget(), window->Label1,   window->Label3,   window->Memo2,
                                     window->Memo3,    window->Button11, window->CheckBox2};
        for (QWidget *w : parts)
            EXPECT_TRUE(w->isVisible()) << w->metaObject()->className();
        EXPECT_EQ(window->Label4->text(), QStringLiteral("对方端口:%1").arg(first->RemotePort));
        // Still working: it answers its peer.
        EXPECT_TRUE(window->LogText().contains(QStringLiteral("收到数据：")));
    }
}
