#pragma once
// The application object: an error that escapes an event handler ends that handler, reaches the
// standard error box with its message, and the event loop goes on. It gives every window the
// program's icon. The toolkit's own texts (the edit boxes' menus, the buttons of the standard
// boxes) speak simplified Chinese, as the rest of the program, whatever the user's locale.

// Qt
#include <QApplication>
#include <QTranslator>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // The toolkit's simplified Chinese translations, from the folder Debian's
    // qt6-translations-l10n installs them in (or another). Without the file the toolkit's texts
    // stay untranslated, and a warning says so: false.
    bool LoadToolkitTexts();
    bool LoadToolkitTexts(const QString &folder);

private:
    QTranslator FToolkitTexts;
};

// The title of every message box and question.
extern const QString BoxTitle;
// Message boxes, the standard error box and the file dialogs as modal dialogs on screen.
void InstallMessageBoxes();
