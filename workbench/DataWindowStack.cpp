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

// Marks the changes of window state and activation made here.
struct TChanging {
    explicit TChanging(int &count) : FCount(count) { ++FCount; }
    ~TChanging() { --FCount; }
    int &FCount;
};
} // namespace

TDataWindowStack::TDataWindowStack(QMdiArea *area, QWidget *holder) : QObject(area), FArea(area), FHolder(holder)
{
    connect(FArea, &QMdiArea::subWindowActivated, this, &TDataWindowStack::Activated);
}

void TDataWindowStack::BringToFront(QMdiSubWindow *window)
{
    if (!window)
        return;
    TChanging changing(FChanging);
    Watch(window);
    FFront = window;
    if (!FSideBySide) {
        Show(window);
        ParkAllBut(window);
        return;
    }
    TakeBack(window);
    if (window->isMinimized() || !window->isVisible())
        window->showNormal();
    if (QWidget *contents = window->widget(); contents && contents->isHidden())
        contents->show();
    FArea->setActiveSubWindow(window);
    window->raise();
    KeepInArea(SideBySideCap, window);
}

void TDataWindowStack::MakeRoom()
{
    TChanging changing(FChanging);
    if (FSideBySide)
        KeepInArea(SideBySideCap - 1, nullptr);
    else
        ParkAllBut(nullptr);
}

void TDataWindowStack::Activated(QMdiSubWindow *window)
{
    // The user brought a window forward in the area: the tree follows.
    if (FChanging || !window || window == FFront)
        return;
    FFront = window;
    emit frontChanged(window);
}

void TDataWindowStack::ShowSideBySide(QMdiSubWindow *front)
{
    TChanging changing(FChanging);
    FSideBySide = true;
    FFront = front;
    std::vector<QMdiSubWindow *> joining;
    for (auto it = FWaiting.rbegin(); it != FWaiting.rend() && int(joining.size()) < SideBySideCap - 1; ++it)
        if (*it && !(*it)->isMinimized())
            joining.push_back(*it);
    // The most recent end up on top, the restored window above them all.
    for (auto it = joining.rbegin(); it != joining.rend(); ++it) {
        QMdiSubWindow *w = *it;
        TakeBack(w);
        w->showNormal();
        if (QWidget *contents = w->widget(); contents && contents->isHidden())
            contents->show();
    }
    FArea->setActiveSubWindow(front);
    front->raise();
}

void TDataWindowStack::KeepInArea(int keep, QMdiSubWindow *front)
{
    const QList<QMdiSubWindow *> byUse = FArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    int inArea = int(byUse.size());
    for (QMdiSubWindow *w : byUse) {
        if (inArea <= keep)
            break;
        if (w == front)
            continue;
        Wait(w);
        --inArea;
    }
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
    auto *window = qobject_cast<QMdiSubWindow *>(sender());
    if (!FChanging && window) {
        const Qt::WindowStates sized = Qt::WindowMaximized | Qt::WindowMinimized;
        if (!FSideBySide && window == FFront && (oldState & Qt::WindowMaximized) && !(newState & sized)) {
            ShowSideBySide(window);
            return;
        }
        if (FSideBySide && (newState & Qt::WindowMaximized) && !(oldState & Qt::WindowMaximized)) {
            TChanging changing(FChanging);
            FSideBySide = false;
            FFront = window;
            ParkAllBut(window);
            emit frontChanged(window);
            return;
        }
    }
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
    if (FSideBySide) {
        // The others stay where the user put them; the active one is in front.
        if (!FFront || FFront->isMinimized() || FFront->parentWidget() != FArea->viewport())
            FFront = FArea->activeSubWindow();
        return;
    }
    TChanging changing(FChanging);

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
