#include "DataWindowFrame.h"

// Qt
#include <QCloseEvent>
#include <QMdiArea>

TDataWindowFrame::TDataWindowFrame(QMdiArea *area, TFrmData *window)
    // Made in the area's viewport, as a sub-window, from the start: added later, it would be moved
    // there and have its window flags set, and each of these moves recomputes its title bar.
    : QMdiSubWindow(area->viewport(), Qt::SubWindow), FWindow(window)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void TDataWindowFrame::closeEvent(QCloseEvent *event)
{
    // Closing a data window only minimises it; it keeps receiving and counting.
    event->ignore();
    showMinimized();
}
