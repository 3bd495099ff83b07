// Files in a data window's context menus, with real peers on loopback: the log saved, received
// blocks captured exactly as they came, and a file sent through the window's endpoint.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Qt
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "LogView.h"
#include "MainWindowTest.h"
#include "MessageSeam.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "UdpPeer.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

QByteArray RandomBytes(qsizetype n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (qsizetype i = 0; i < n; ++i)
        bytes[i] = char(generator.generate());
    return bytes;
}

QString DigestOf(const QByteArray &bytes)
{
    return QString::number(bytes.size()) + ' '
        + QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Files : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        FPrevious = ui::SetFileChooser([this](ui::FileChoice, const QString &) { return chosen; });
    }
    void TearDown() override
    {
        ui::SetFileChooser(std::move(FPrevious));
        MainWindowTest::TearDown();
    }

    TMySocket *Accepted()
    {
        port = UnusedPort();
        TMySocket *server = form->CreateTcpServer(port);
        EXPECT_GT(peer.Connect("c", port), 0);
        EXPECT_TRUE(WaitUntil([&] { return server->Node->childCount() == 1; }));
        return NodeInstance(server->Node->child(0));
    }

    // Chooses the named entry of a context menu the window adds to, as the user does.
    static void Choose(const std::function<void(QMenu *)> &entries, const QString &startsWith)
    {
        QMenu menu;
        entries(&menu);
        for (QAction *a : menu.actions())
            if (a->text().startsWith(startsWith)) {
                a->trigger();
                return;
            }
        ADD_FAILURE() << "no entry " << startsWith.toStdString();
    }

    QTemporaryDir dir;
    QString chosen;
    TestPeer peer;
    int port = 0;

private:
    ui::FileChooser FPrevious;
};

} // namespace

TEST_F(Files, TheLogIsSavedAsShownAndAFailedSaveLeavesNothingBehind)
{
    TMySocket *udp = form->CreateUdpServer(0);
    TFrmData *w = ShowWindow(*form, udp);
    w->LogReceived("first\xe4\xb8\xad");
    w->LogReceived(QByteArray("a\0b", 3));
    chosen = dir.filePath(QStringLiteral("log.txt"));
    Choose([w](QMenu *m) { w->AddLogMenuEntries(m); }, QStringLiteral("保存接收区"));
    EXPECT_EQ(ReadAll(chosen), w->LogText().toUtf8());
    EXPECT_TRUE(ReadAll(chosen).contains('\n'));
    EXPECT_TRUE(recorder.all.isEmpty());

    // A folder under the name, and a name in a folder that is not there: told, nothing written.
    const QStringList log = w->LogText().split('\n');
    for (const QString &bad : {dir.path(), dir.filePath(QStringLiteral("missing/log.txt"))}) {
        recorder.clear();
        chosen = bad;
        Choose([w](QMenu *m) { w->AddLogMenuEntries(m); }, QStringLiteral("保存接收区"));
        ASSERT_EQ(recorder.messages.size(), 1);
        EXPECT_TRUE(recorder.messages[0].startsWith(QStringLiteral("保存接收区失败："))) << recorder.messages[0].toStdString();
        EXPECT_EQ(w->LogText().split('\n'), log);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("log.txt")});
}

TEST_F(Files, ReceivedBlocksReachTheFileExactlyAsThePeerSentThem)
{
    TMySocket *accepted = Accepted();
    TFrmData *w = ShowWindow(*form, accepted);
    chosen = dir.filePath(QStringLiteral("capture.bin"));
    Choose([w](QMenu *m) { w->AddLogMenuEntries(m); }, QStringLiteral("接收到文件"));
    ASSERT_EQ(w->CapturePath(), chosen);
    const QByteArray sent = RandomBytes(300 * 1024);
    for (qsizetype at = 0; at < sent.size(); at += 50 * 1024)
        ASSERT_TRUE(peer.Send("c", sent.mid(at, 50 * 1024)));
    ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == sent.size(); }));
    // The entry shows the file while it is on; chosen again, it turns the capture off.
    Choose([w](QMenu *m) { w->AddLogMenuEntries(m); }, QStringLiteral("接收到文件：") + chosen);
    EXPECT_TRUE(w->CapturePath().isEmpty());
    ASSERT_TRUE(peer.Send("c", "after"));
    ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == sent.size() + 5; }));
    EXPECT_EQ(DigestOf(ReadAll(chosen)), DigestOf(sent));

    // A write that fails stops the capture and says why and how much was written.
    chosen = QStringLiteral("/dev/full");
    Choose([w](QMenu *m) { w->AddLogMenuEntries(m); }, QStringLiteral("接收到文件"));
    ASSERT_TRUE(peer.Send("c", "xyz"));
    ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == sent.size() + 8; }));
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_TRUE(recorder.messages[0].startsWith(QStringLiteral("接收到文件已停止："))) << recorder.messages[0].toStdString();
    EXPECT_TRUE(recorder.messages[0].endsWith(QStringLiteral("已写入0字节")));
    EXPECT_TRUE(w->CapturePath().isEmpty());
}

TEST_F(Files, AFileGoesOutWholeOverTcpAndAUdpEndpointRefusesOneLongerThanADatagram)
{
    TMySocket *accepted = Accepted();
    TFrmData *w = ShowWindow(*form, accepted);
    const QByteArray content = RandomBytes(8 * 1024 * 1024 + 17);
    chosen = dir.filePath(QStringLiteral("payload.bin"));
    {
        QFile f(chosen);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    // The peer reads it all, in step with the sends, and answers with its digest.
    peer.Post(QStringLiteral("digest c %1").arg(content.size()));
    Choose([w](QMenu *m) { w->AddSendMenuEntries(m); }, QStringLiteral("发送文件"));
    EXPECT_EQ(peer.Answer(60000).section(' ', 2), DigestOf(content));
    EXPECT_EQ(w->SendCount, content.size());
    w->FlushLog();
    EXPECT_TRUE(w->LogText().endsWith(QStringLiteral(" 发送数据：文件payload.bin（%1字节）[1次]").arg(content.size())));
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();

    // Over UDP: one datagram or nothing.
    auto receiver = UdpPeer::Receiver(1);
    ASSERT_TRUE(receiver && receiver->Port() > 0);
    TMySocket *client = form->CreateUdpClient(QStringLiteral("127.0.0.1"), receiver->Port(), 0);
    TFrmData *u = ShowWindow(*form, client);
    Choose([u](QMenu *m) { u->AddSendMenuEntries(m); }, QStringLiteral("发送文件"));
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0], QStringLiteral("文件大小%1字节，超过一个UDP数据报最多能带的65507字节，未发送")
                                        .arg(content.size()));
    EXPECT_EQ(u->SendCount, 0);
    // An empty file: nothing goes out, and the user is told.
    {
        QFile f(chosen);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }
    Choose([u](QMenu *m) { u->AddSendMenuEntries(m); }, QStringLiteral("发送文件"));
    ASSERT_EQ(recorder.messages.size(), 2);
    EXPECT_EQ(recorder.messages[1], QStringLiteral("文件为空，未发送"));
    EXPECT_EQ(u->SendCount, 0);
    {
        QFile f(chosen);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content.first(TNMUDP::MaxDatagram));
    }
    Choose([u](QMenu *m) { u->AddSendMenuEntries(m); }, QStringLiteral("发送文件"));
    ASSERT_TRUE(receiver->WaitLines(1));
    EXPECT_EQ(receiver->Lines().value(0).section(' ', 0, 1), DigestOf(content.first(TNMUDP::MaxDatagram)));
    EXPECT_EQ(u->SendCount, TNMUDP::MaxDatagram);
}

TEST_F(Files, AFileSendStopsSafelyWhenThePeerResetsTheInstanceGoesOrTheProgramQuits)
{
    chosen = dir.filePath(QStringLiteral("large.bin"));
    {
        QFile f(chosen);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(64 * 1024 * 1024, 'z'));
    }
    // The peer never reads: the send waits on a full buffer, handling events, when it happens.
    for (int interruption = 0; interruption < 3; ++interruption) {
        TestPeer reader;
        port = UnusedPort();
        TMySocket *server = form->CreateTcpServer(port);
        ASSERT_GT(reader.Connect("c", port), 0);
        ASSERT_TRUE(WaitUntil([&] { return server->Node->childCount() == 1; }));
        TMySocket *accepted = NodeInstance(server->Node->child(0));
        const QPointer<TFrmData> w = ShowWindow(*form, accepted);
        QTimer::singleShot(100, form.get(), [&] {
            if (interruption == 0) {
                reader.Reset("c");
            } else if (interruption == 1) {
                form->TreeView1->setCurrentItem(accepted->Node);
                form->Button2Click();
            } else {
                form->close();
            }
        });
        Choose([&w](QMenu *m) { w->AddSendMenuEntries(m); }, QStringLiteral("发送文件"));
        // Gone with its instance in every case: by the reset, the deletion, the quit.
        EXPECT_TRUE(WaitUntil([&] { return w.isNull(); })) << interruption;
    }
    EXPECT_EQ(form->SocketList.Count(), 0);
}
