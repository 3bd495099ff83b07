// The toolkit's own texts speak simplified Chinese from the start, whatever the user's locale:
// the send box's standard menu, the log box's menu (the same words) and the standard boxes'
// buttons. Without the translations file they stay untranslated.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QMdiSubWindow>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

// datawindow
#include "LogView.h"
#include "datapanel.h"

#include "TApplication.h"
#include "newserversock.h"

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

QStringList EntriesOf(const QMenu *menu)
{
    QStringList entries;
    for (const QAction *a : menu->actions())
        if (!a->isSeparator())
            entries << a->text();
    return entries;
}

QStringList Captions(const QStringList &entries)
{
    QStringList captions;
    for (const QString &e : entries)
        captions << e.section(u'\t', 0, 0);
    return captions;
}

class ToolkitTexts : public ::testing::Test {
protected:
    static void SetUpTestSuite() { frmNewServerSock = new TfrmNewServerSock(nullptr); }
    static void TearDownTestSuite()
    {
        delete frmNewServerSock;
        frmNewServerSock = nullptr;
    }
    void SetUp() override
    {
        area.resize(700, 500);
        area.show();
        window = new TFrmData(&area);
        window->Build()->showMaximized();
        window->Memo2->AppendLine(QStringLiteral("line"));
    }
    QStringList sendBoxMenu() const
    {
        const std::unique_ptr<QMenu> menu(window->Memo3->createStandardContextMenu());
        return EntriesOf(menu.get());
    }
    // The entries a text box has, without the program's own that follow them.
    QStringList logBoxMenu() const
    {
        QWidget *port = window->Memo2->viewport();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), port->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(port, &event);
        const std::unique_ptr<QMenu> menu(window->Memo2->findChild<QMenu *>());
        return menu ? EntriesOf(menu.get()).first(7) : QStringList();
    }
    static QString okButton()
    {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Ok);
        return box.button(QMessageBox::Ok)->text();
    }

    QMdiArea area;
    TFrmData *window = nullptr; // owned by the area
};

const QStringList Chinese{"撤消(&U)", "重做(&R)", "剪切(&T)", "复制(&C)", "粘贴(&P)", "删除", "全选"};

TEST_F(ToolkitTexts, TheEditMenusAndTheBoxButtonsAreInSimplifiedChinese)
{
    EXPECT_EQ(Captions(sendBoxMenu()), Chinese);
    // Shortcuts and all, word for word.
    EXPECT_EQ(logBoxMenu(), sendBoxMenu());
    // A dialog's edit box.
    const std::unique_ptr<QMenu> editMenu(frmNewServerSock->Edit1->createStandardContextMenu());
    EXPECT_EQ(Captions(EntriesOf(editMenu.get())), Chinese);
    EXPECT_EQ(okButton(), QStringLiteral("确定"));
}

TEST_F(ToolkitTexts, WithoutTheFileTheTextsStayUntranslatedWhateverTheLocale)
{
    auto *app = static_cast<TApplication *>(QCoreApplication::instance());
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    EXPECT_FALSE(app->LoadToolkitTexts(empty.path()));
    const QStringList english{"&Undo", "&Redo", "Cu&t", "&Copy", "&Paste", "Delete", "Select All"};
    EXPECT_EQ(Captions(sendBoxMenu()), english);
    EXPECT_EQ(logBoxMenu(), sendBoxMenu());
    EXPECT_EQ(okButton(), QStringLiteral("OK"));

    // Loaded again under another locale: still simplified Chinese.
    const QLocale locale;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(app->LoadToolkitTexts());
    QLocale::setDefault(locale);
    EXPECT_EQ(Captions(logBoxMenu()), Chinese);
    EXPECT_EQ(okButton(), QStringLiteral("确定"));
}

} // namespace
