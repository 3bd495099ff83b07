// A data window's text code page, chosen in its context menus, with a real peer on loopback:
// received text read in it (a character split across reads shown whole where it completes) and
// text-mode sends written in it.

#include <gtest/gtest.h>

#include <functional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QMenu>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QCheckBox>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "LocaleCharset.h"
#include "LogView.h"
#include "MainWindowTest.h"
#include "Ports.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

struct PageRow {
    const char *menuTitle; // empty: the local code page, the first entry
    const char *charset;   // for the peer's own encoder; empty: the locale's
    const char *text;      // UTF-8 here
};

const PageRow Pages[] = {
    {"", "", "温度：25℃ ok"},
    {"UTF-8", "UTF-8", "温度：25℃ ok"},
    {"GB18030", "GB18030", "温度：25℃ 𠀀 ok"},
    {"Big5", "Big5", "溫度測試 ok"},
    {"Shift_JIS", "Shift_JIS", "温度テスト ok"},
    {"EUC-KR", "EUC-KR", "온도 시험 ok"},
    {"ISO-8859-1", "ISO-8859-1", "Grüße à 25° ok"},
};

QString DataPart(const QString &line)
{
    const qsizetype at = line.indexOf(QStringLiteral("数据："));
    return at < 0 ? QString() : line.mid(at + 3);
}

class CodePages : public MainWindowTest, public ::testing::WithParamInterface<PageRow> {};

} // namespace

TEST_P(CodePages, ACharacterSplitAcrossReadsShowsWholeAndSendsGoOutInTheChosenPage)
{
    const PageRow &row = GetParam();
    const QString text = QString::fromUtf8(row.text);
    QStringEncoder encoder(*row.charset ? row.charset : LocaleCharset().constData());
    ASSERT_TRUE(encoder.isValid());
    const QByteArray bytes = encoder.encode(text);

    TestPeer peer;
    TMySocket *server = form->CreateTcpServer(0);
    ASSERT_GT(peer.Connect("c", BoundPort(server)), 0);
    ASSERT_TRUE(WaitUntil([&] { return server->Node->childCount() == 1; }));
    TFrmData *w = ShowWindow(*form, NodeInstance(server->Node->child(0)));

    // The page chosen in the log box's menu, then checked in the send box's as well.
    QMenu logMenu;
    w->AddLogMenuEntries(&logMenu);
    QMenu *pages = nullptr;
    for (QAction *a : logMenu.actions())
        if (a->menu() && a->text() == QStringLiteral("文字编码"))
            pages = a->menu();
    ASSERT_TRUE(pages);
    QAction *choice = nullptr;
    for (QAction *a : pages->actions())
        if (*row.menuTitle ? a->text() == QLatin1String(row.menuTitle) : a->text().startsWith(QStringLiteral("本地代码页（")))
            choice = a;
    ASSERT_TRUE(choice);
    choice->trigger();
    QMenu sendMenu;
    w->AddSendMenuEntries(&sendMenu);
    int checked = 0;
    for (QAction *a : sendMenu.actions()) {
        if (!a->menu())
            continue;
        for (QAction *p : a->menu()->actions()) {
            if (p->isChecked()) {
                ++checked;
                EXPECT_EQ(p->text(), choice->text());
            }
        }
    }
    EXPECT_EQ(checked, 1);

    // Each read ends inside a character where the page has characters of more than one byte.
    qsizetype cut = 0;
    while (cut < bytes.size() && static_cast<unsigned char>(bytes[cut]) < 0x80)
        ++cut;
    cut = std::min(cut + 1, bytes.size() - 1);
    const qsizetype lines = w->LogLineCount();
    for (const QByteArray &part : {bytes.first(cut), bytes.mid(cut)}) {
        const int64_t before = w->RecvCount;
        ASSERT_TRUE(peer.Send("c", part));
        ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == before + part.size(); }));
    }
    w->FlushLog();
    const QStringList log = w->LogText().split('\n');
    ASSERT_EQ(log.size(), lines + 2);
    EXPECT_EQ(DataPart(log[lines]) + DataPart(log[lines + 1]), text);
    EXPECT_FALSE(log.join(QString()).contains(QChar::ReplacementCharacter));

    // The send box's text goes out in the page, and its line shows it as typed.
    w->Memo3->setPlainText(text);
    w->Button11Click();
    EXPECT_EQ(peer.Receive("c", int(bytes.size())), bytes);
    w->FlushLog();
    EXPECT_TRUE(w->LogText().endsWith(QStringLiteral(" 发送数据：") + text + QStringLiteral("[1次]")));
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Workbench, CodePages, ::testing::ValuesIn(Pages));

namespace {

// The data part of the log's last line.
QString LastData(TFrmData *w)
{
    w->FlushLog();
    return DataPart(w->LogText().section('\n', -1));
}

using HeldBytes = MainWindowTest;

} // namespace

TEST_F(HeldBytes, ADatagramHoldsNothingBackForTheNextSender)
{
    TMySocket *udp = form->CreateUdpServer(0);
    TFrmData *w = ShowWindow(*form, udp);
    ASSERT_TRUE(ChooseContextMenuEntry(w->Memo2, {QStringLiteral("文字编码"), QStringLiteral("UTF-8")}));
    const auto send = [&](const char *from, const QByteArray &bytes) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = inet_addr(from);
        ::bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a);
        a.sin_addr.s_addr = inet_addr("127.0.0.1");
        a.sin_port = htons(uint16_t(qobject_cast<TNMUDP *>(udp->Socket)->BoundPort()));
        ::sendto(fd, bytes.constData(), size_t(bytes.size()), 0, reinterpret_cast<const sockaddr *>(&a), sizeof a);
        ::close(fd);
        const int64_t before = w->RecvCount;
        ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == before + bytes.size(); }));
    };
    // A's datagram ends inside a character; B's line is B's alone.
    send("127.0.0.2", "from-A\xe4\xb8");
    EXPECT_EQ(LastData(w), QString::fromUtf8("from-A\xe4\xb8"));
    send("127.0.0.3", "from-B");
    EXPECT_EQ(LastData(w), QStringLiteral("from-B"));
}

TEST_F(HeldBytes, HeldBytesShowOnASwitchWhenThePeerGoesQuietAndWhenTheLinkCloses)
{
    TestPeer peer;
    const int port = peer.Command(QStringLiteral("listen")).section(' ', 1).toInt();
    ASSERT_GT(port, 0);
    TFrmData *w = ShowWindow(*form, form->CreateTcpClient(QStringLiteral("127.0.0.1"), port));
    ASSERT_TRUE(ChooseContextMenuEntry(w->Memo2, {QStringLiteral("文字编码"), QStringLiteral("UTF-8")}));
    w->Button5Click();
    ASSERT_TRUE(peer.Command(QStringLiteral("accept c")).startsWith(QStringLiteral("accepted")));
    ASSERT_TRUE(WaitUntil([&] { return w->MySocket->LinkState == 1; }));
    const QByteArray cut("\xe6\xb8", 2); // the first two of the three bytes of 温
    const QString shown = QString::fromUtf8(cut);
    const auto receive = [&](const QByteArray &bytes) {
        const int64_t before = w->RecvCount;
        ASSERT_TRUE(peer.Send("c", bytes));
        ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == before + bytes.size(); }));
    };
    const std::function<void()> ends[] = {
        [&] { w->CheckBox2->setChecked(true); },
        [&] { ASSERT_TRUE(ChooseContextMenuEntry(w->Memo2, {QStringLiteral("文字编码"), QStringLiteral("GB18030")})); },
        [&] { ASSERT_TRUE(WaitUntil([&] { return !w->HoldsBytes(); })); },
        [&] { ASSERT_TRUE(peer.Close("c")); ASSERT_TRUE(WaitUntil([&] { return w->MySocket->LinkState == 0; })); },
    };
    for (const auto &end : ends) {
        w->CheckBox2->setChecked(false);
        receive("ok" + cut);
        ASSERT_EQ(LastData(w), QStringLiteral("ok"));
        const qsizetype lines = w->LogLineCount();
        end();
        // The two bytes in a line of their own, as they are, once.
        ASSERT_EQ(w->LogLineCount(), lines + 1);
        EXPECT_EQ(LastData(w), shown);
        ASSERT_TRUE(ChooseContextMenuEntry(w->Memo2, {QStringLiteral("文字编码"), QStringLiteral("UTF-8")}));
    }
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}
