#include "TApplication.h"

// Qt
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

// platform
#include "Exception.h"
#include "MessageSeam.h"

// skin
#include "ProgramIcon.h"

#include "FileDialog.h"
#include "TSharedIconStyle.h"

const QString BoxTitle = QStringLiteral("Velmora");

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setStyle(new TSharedIconStyle(style()->name()));
    // Every window without an icon of its own, dialogs and data windows included, shows this one.
    setWindowIcon(ProgramIcon());
    // Wayland compositors find the icon and the menu entry through the desktop entry's name.
    setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    // The toolkit's dialogs write sizes, dates and type names in Chinese too; the log's times
    // keep the user's own locale (TimeText).
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    LoadToolkitTexts();
}

bool TApplication::LoadToolkitTexts()
{
    return LoadToolkitTexts(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

bool TApplication::LoadToolkitTexts(const QString &folder)
{
    removeTranslator(&FToolkitTexts);
    // By name, not by the user's locale: the program speaks simplified Chinese everywhere.
    const QString name = QStringLiteral("qtbase_zh_CN");
    if (!FToolkitTexts.load(name, folder)) {
        qWarning("%s not found (Debian package qt6-translations-l10n): the toolkit's own texts stay in English",
                 qPrintable(QDir::toNativeSeparators(QDir(folder).filePath(name + QStringLiteral(".qm")))));
        return false;
    }
    installTranslator(&FToolkitTexts);
    return true;
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const ui::OperationGone &) {
    } catch (const Exception &e) {
        ui::ShowErrorBox(e.Message());
    } catch (const std::exception &e) {
        ui::ShowErrorBox(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

void InstallMessageBoxes()
{
    ui::SetMessageSink([](ui::BoxKind kind, const QString &text) {
        const QString &title = BoxTitle;
        if (kind == ui::BoxKind::Error)
            QMessageBox::critical(QApplication::activeWindow(), title, text);
        else
            QMessageBox::information(QApplication::activeWindow(), title, text);
    });
    ui::SetFileChooser([](ui::FileChoice choice, const QString &caption) {
        return ChooseFileInDialog(QApplication::activeWindow(), choice, caption);
    });
    ui::SetQuestioner([](const QString &text, const QStringList &buttons) {
        QMessageBox box(QMessageBox::Question, BoxTitle, text, QMessageBox::NoButton,
                        QApplication::activeWindow());
        QList<QAbstractButton *> added;
        for (const QString &caption : buttons)
            added << box.addButton(caption, added.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        if (!added.isEmpty()) {
            box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
            box.setEscapeButton(added.last());
        }
        box.exec();
        const int answer = int(added.indexOf(box.clickedButton()));
        return answer < 0 ? int(buttons.size()) - 1 : answer;
    });
}
