#include "DataWindowStack.h"

#include <algorithm>

// Qt
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

namespace {
// Where a waiting window's system menu actions keep their shortcuts.
const char *const WaitingShortcuts = "velmoraWaitingShortcuts";
} // namespace

TDataWindowStack::TDataWindowStack(QMdiArea *area, QWidget *holder) : QObject(area), FArea(area), FHolder(holder) {}

void TDataWindowStack::BringToFront(QMdiSubWindow *window)
{
    if (!window)
        return;
    Watch(window);
    Show(window);
    FFront = window;
    ParkAllBut(window);
}

void TDataWindowStack::MakeRoom()
{
    ParkAllBut(nullptr);
}

QMdiSubWindow *TDataWindowStack::Front() const
{
    return FFront;
}

int TDataWindowStack::Count() const
{
    const auto waiting = std::count_if(FWaiting.begin(), FWaiting.end(), [](const auto &w) { return !w.isNull(); });
    return static_cast<int>(FArea->subWindowList().size() + waiting);
}

bool TDataWindowStack::IsWaiting(const QMdiSubWindow *window) const
{
    return window && std::find(FWaiting.begin(), FWaiting.end(), window) != FWaiting.end();
}

void TDataWindowStack::Watch(QMdiSubWindow *window)
{
    connect(window, &QMdiSubWindow::windowStateChanged, this, &TDataWindowStack::StateChanged, Qt::UniqueConnection);
    connect(window, &QObject::destroyed, this, &TDataWindowStack::ScheduleSettle, Qt::UniqueConnection);
}

void TDataWindowStack::StateChanged(Qt::WindowStates oldState, Qt::WindowStates newState)
{
    // Only a window going to an icon changes what is shown; activation comes and goes with every
    // new window.
    if ((newState & Qt::WindowMinimized) && !(oldState & Qt::WindowMinimized))
        ScheduleSettle();
}

void TDataWindowStack::ScheduleSettle()
{
    if (FSettlePending)
        return;
    FSettlePending = true;
    QMetaObject::invokeMethod(this, &TDataWindowStack::Settle, Qt::QueuedConnection);
}

void TDataWindowStack::Settle()
{
    FSettlePending = false;
    FWaiting.erase(std::remove_if(FWaiting.begin(), FWaiting.end(), [](const auto &w) { return w.isNull(); }),
                   FWaiting.end());

    QMdiSubWindow *front = FFront;
    if (front && (front->parentWidget() != FArea->viewport() || front->isMinimized()))
        front = nullptr;
    if (!front) {
        // One the user restored or maximised in the area.
        const QList<QMdiSubWindow *> shown = FArea->subWindowList(QMdiArea::ActivationHistoryOrder);
        for (auto it = shown.rbegin(); it != shown.rend() && !front; ++it)
            if (!(*it)->isMinimized())
                front = *it;
    }
    if (!front) {
        for (auto it = FWaiting.rbegin(); it != FWaiting.rend() && !front; ++it)
            if (!(*it)->isMinimized())
                front = *it;
        if (front)
            Show(front);
    }
    if (front) {
        const bool changed = FFront != front;
        FFront = front;
        ParkAllBut(front);
        if (changed)
            emit frontChanged(front);
        return;
    }
    // Nothing left to show maximised: the minimised windows show as icons, as in a plain area.
    FFront = nullptr;
    const std::vector<QPointer<QMdiSubWindow>> minimised = FWaiting;
    for (const QPointer<QMdiSubWindow> &w : minimised) {
        TakeBack(w);
        w->showMinimized();
    }
}

void TDataWindowStack::Show(QMdiSubWindow *window)
{
    TakeBack(window);
    // A new window is already maximised in the area: showing it afresh would lay it out twice.
    if (!window->isVisible() || !window->isMaximized()) {
        window->showNormal();
        window->showMaximized();
    }
    // A window minimised and then taken out of the area comes back with its contents still
    // hidden, as the area hid them for the icon: they belong to the window, shown.
    if (QWidget *contents = window->widget(); contents && contents->isHidden())
        contents->show();
    FArea->setActiveSubWindow(window);
    window->raise();
}

void TDataWindowStack::Wait(QMdiSubWindow *window)
{
    // Straight to the holder, which is in the same top-level window: removeSubWindow would make
    // it a top-level of its own first, and each move between top-levels walks the focus chain of
    // every widget of the main window. The area drops it from its list when its viewport loses
    // the child; but while the area is hidden it does not notice that its active window went,
    // so that one is deactivated first.
    if (FArea->activeSubWindow() == window)
        FArea->setActiveSubWindow(nullptr);
    window->setParent(FHolder);
    Quieten(window);
    FWaiting.emplace_back(window);
}

void TDataWindowStack::TakeBack(QMdiSubWindow *window)
{
    const auto it = std::find(FWaiting.begin(), FWaiting.end(), window);
    if (it == FWaiting.end())
        return;
    FWaiting.erase(it);
    Wake(window);
    FArea->addSubWindow(window);
}

void TDataWindowStack::Quieten(QMdiSubWindow *window)
{
    QObject::disconnect(qApp, SIGNAL(focusChanged(QWidget *, QWidget *)), window, nullptr);
    if (QMenu *menu = window->systemMenu())
        for (QAction *action : menu->actions())
            if (!action->shortcuts().isEmpty()) {
                action->setProperty(WaitingShortcuts, QVariant::fromValue(action->shortcuts()));
                action->setShortcuts({});
            }
}

void TDataWindowStack::Wake(QMdiSubWindow *window)
{
    // The connection the sub-window makes for itself when it is made.
    QObject::connect(qApp, SIGNAL(focusChanged(QWidget *, QWidget *)), window,
                     SLOT(_q_processFocusChanged(QWidget *, QWidget *)), Qt::UniqueConnection);
    if (QMenu *menu = window->systemMenu())
        for (QAction *action : menu->actions()) {
            const QVariant kept = action->property(WaitingShortcuts);
            if (kept.isValid()) {
                action->setShortcuts(kept.value<QList<QKeySequence>>());
                action->setProperty(WaitingShortcuts, QVariant());
            }
        }
}

void TDataWindowStack::ParkAllBut(QMdiSubWindow *front)
{
    for (QMdiSubWindow *w : FArea->subWindowList())
        if (w != front)
            Wait(w);
}
