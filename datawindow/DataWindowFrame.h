#pragma once
// The frame of a data window in the document area: the sub-window with its title bar and system
// menu, made the first time the window is shown (a sub-window costs far more than the rest of a
// data window that waits unseen). Closed by the user, it only minimises; the window goes on.

// Qt
#include <QMdiSubWindow>

class QMdiArea;
class TFrmData;

class TDataWindowFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    // In the area's viewport, not in its list of sub-windows yet, not shown.
    TDataWindowFrame(QMdiArea *area, TFrmData *window);

    // The data window this frame shows.
    TFrmData *Window() const { return FWindow; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TFrmData *FWindow;
};
