// The toolkit's own texts speak simplified Chinese from the start, whatever the user's locale:
// the send box's standard menu, the log box's menu (the same words) and the standard boxes'
// buttons. Without the translations file they stay untranslated.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Qt
#include <QAbstractProxyModel>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QTimer>
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

#include "MessageSeam.h"
#include "TApplication.h"
#include "TestSupport.h"
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

namespace {

// Runs check on the modal widget that the next call opens, then lets the caller close it.
void OnNextModal(std::function<void(QWidget *)> check)
{
    QTimer::singleShot(0, [check] {
        testing_support::WaitUntil([] { return QApplication::activeModalWidget() != nullptr; });
        check(QApplication::activeModalWidget());
    });
}

class InstalledBoxes : public ::testing::Test {
protected:
    void SetUp() override
    {
        sink = ui::SetMessageSink({});
        chooser = ui::SetFileChooser({});
        questioner = ui::SetQuestioner({});
        InstallMessageBoxes();
    }
    void TearDown() override
    {
        ui::SetMessageSink(std::move(sink));
        ui::SetFileChooser(std::move(chooser));
        ui::SetQuestioner(std::move(questioner));
    }
    ui::MessageSink sink;
    ui::FileChooser chooser;
    ui::Questioner questioner;
};

} // namespace

TEST_F(InstalledBoxes, MessageBoxesErrorBoxesAndQuestionsAreTitledVelmora)
{
    QStringList titles;
    const auto closeIt = [&titles](QWidget *w) {
        titles << (w ? w->windowTitle() : QStringLiteral("(none)"));
        if (auto *box = qobject_cast<QMessageBox *>(w))
            box->done(0);
    };
    OnNextModal(closeIt);
    ui::ShowMessage(QStringLiteral("消息"));
    OnNextModal(closeIt);
    ui::ShowErrorBox(QStringLiteral("错误"));
    OnNextModal(closeIt);
    ui::Ask(QStringLiteral("问题？"), {QStringLiteral("是"), QStringLiteral("否")});
    EXPECT_EQ(titles, QStringList(3, QStringLiteral("Velmora")));
}

TEST_F(InstalledBoxes, TheFileDialogListsSizesTypesAndDatesInChinese)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QFile file(dir.filePath(QStringLiteral("data.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(5000, 'x'));
    file.close();
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    EXPECT_EQ(QLocale(), chinese);

    QStringList shown;
    bool toolkitDialog = false;
    OnNextModal([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog)
            return;
        toolkitDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
        dialog->setDirectory(dir.path());
        QAbstractProxyModel *list = dialog->proxyModel();
        auto *files = list ? qobject_cast<QFileSystemModel *>(list->sourceModel()) : nullptr;
        if (files) {
            const auto row = [&](const QString &name) { return list->mapFromSource(files->index(dir.filePath(name))); };
            testing_support::WaitUntil([&] {
                return row(QStringLiteral("folder")).isValid() && row(QStringLiteral("data.bin")).isValid()
                    && !list->data(row(QStringLiteral("data.bin")).siblingAtColumn(3)).toString().isEmpty();
            });
            for (const QString &name : {QStringLiteral("folder"), QStringLiteral("data.bin")})
                for (int column = 1; column <= 3; ++column)
                    shown << list->data(row(name).siblingAtColumn(column)).toString();
        }
        dialog->reject();
    });
    EXPECT_TRUE(ui::ChooseFile(ui::FileChoice::Open, QStringLiteral("打开")).isEmpty());
    EXPECT_TRUE(toolkitDialog);
    ASSERT_EQ(shown.size(), 6);
    const QFileInfo info(file.fileName());
    EXPECT_EQ(shown[0], QString());
    EXPECT_EQ(shown[1], QStringLiteral("文件夹"));
    EXPECT_EQ(shown[3], chinese.formattedDataSize(5000));
    EXPECT_EQ(shown[5], chinese.toString(info.lastModified(), QLocale::ShortFormat));
    EXPECT_NE(shown[5], QLocale::c().toString(info.lastModified(), QLocale::ShortFormat));
}
