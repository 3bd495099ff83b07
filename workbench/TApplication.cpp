#include "TApplication.h"

// Qt
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>

// platform
#include "Exception.h"
#include "MessageSeam.h"

// skin
#include "ProgramIcon.h"

#include "TSharedIconStyle.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setStyle(new TSharedIconStyle(style()->name()));
    // Every window without an icon of its own, dialogs and data windows included, shows this one.
    setWindowIcon(ProgramIcon());
    // Wayland compositors find the icon and the menu entry through the desktop entry's name.
    setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
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
        const QString title = QCoreApplication::applicationName();
        if (kind == ui::BoxKind::Error)
            QMessageBox::critical(QApplication::activeWindow(), title, text);
        else
            QMessageBox::information(QApplication::activeWindow(), title, text);
    });
    ui::SetFileChooser([](ui::FileChoice choice, const QString &caption) {
        QWidget *parent = QApplication::activeWindow();
        switch (choice) {
        case ui::FileChoice::Open: return QFileDialog::getOpenFileName(parent, caption);
        case ui::FileChoice::Save: return QFileDialog::getSaveFileName(parent, caption);
        case ui::FileChoice::SaveUnconfirmed: break;
        }
        return QFileDialog::getSaveFileName(parent, caption, QString(), QString(), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    });
    ui::SetQuestioner([](const QString &text, const QStringList &buttons) {
        QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text, QMessageBox::NoButton,
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
