#pragma once
// The application object: an error that escapes an event handler ends that handler, reaches the
// standard error box with its message, and the event loop goes on. It gives every window the
// program's icon.

// Qt
#include <QApplication>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Message boxes and the standard error box as modal boxes on screen.
void InstallMessageBoxes();
