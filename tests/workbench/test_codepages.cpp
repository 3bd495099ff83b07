// A data window's text code page, chosen in its context menus, with a real peer on loopback:
// received text read in it (a character split across reads shown whole where it completes) and
// text-mode sends written in it.

#include <gtest/gtest.h>

// Qt
#include <QMenu>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "LocaleCharset.h"
#include "MainWindowTest.h"
#include "TMySocket.h"
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
    const int port = UnusedPort();
    TMySocket *server = form->CreateTcpServer(port);
    ASSERT_GT(peer.Connect("c", port), 0);
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
