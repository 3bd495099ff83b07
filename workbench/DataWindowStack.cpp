#include "DataWindowStack.h"

#include <algorithm>

// Qt
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QResizeEvent>
#include <QStyle>

// datawindow
#include "DataWindowFrame.h"
#include "datapanel.h"

#include "WindowPlaces.h"

namespace {
// Where a waiting window's system menu actions keep their shortcuts.
const char *const WaitingShortcuts = "velmoraWaitingShortcuts";

// Marks the changes of window state and activation made here.
struct TChanging {
    explicit TChanging(int &count) : FCount(count) { ++FCount; }
    ~TChanging() { --FCount; }
    int &FCount;
};

bool isMinimised(const TFrmData *w)
{
    return w->IsBuilt() && w->Frame()->isMinimized();
}
} // namespace

TDataWindowStack::TDataWindowStack(QMdiArea *area, QWidget *holder) : QObject(area), FArea(area), FHolder(holder)
{
    connect(FArea, &QMdiArea::subWindowActivated, this, &TDataWindowStack::Activated);
    FSoonTimer.setSingleShot(true);
    connect(&FSoonTimer, &QTimer::timeout, this, &TDataWindowStack::ShowSoon);
    FViewport = FArea->viewport();
    FViewport->installEventFilter(this);
}

TFrmData *TDataWindowStack::DataOf(QMdiSubWindow *frame)
{
    auto *f = qobject_cast<TDataWindowFrame *>(frame);
    return f ? f->Window() : nullptr;
}

void TDataWindowStack::Add(TFrmData *window)
{
    ++FCount;
    connect(window, &QObject::destroyed, this, [this, window] {
        // Its entries in FWaiting are null now, and go at the next settling.
        FWaitingCount.erase(window);
        --FCount;
        ScheduleSettle();
    });
}

void TDataWindowStack::BringToFront(TFrmData *window)
{
    if (!window)
        return;
    TChanging changing(FChanging);
    // One that was about to come forward waits instead, as the front one it would have been.
    if (FSoon && FSoon != window)
        Enqueue(FSoon);
    FSoon = nullptr;
    FSoonTimer.stop();
    FLastShown.start();
    FFront = window;
    // Side by side, one that is shown already stays where it is.
    const bool joins = FSideBySide
        && (IsWaiting(window) || !window->Frame()->isVisible() || window->Frame()->isMinimized());
    QMdiSubWindow *frame = Present(window);
    if (FSideBySide)
        KeepInArea(SideBySideCap, frame);
    else
        ParkAllBut(frame);
    if (joins)
        Arrange();
}

void TDataWindowStack::BringToFrontSoon(TFrmData *window)
{
    if (!window)
        return;
    if (FSoon && FSoon != window)
        Enqueue(FSoon);
    FSoon = window;
    if (!FSoonTimer.isActive()) {
        const qint64 since = FLastShown.isValid() ? FLastShown.elapsed() : FSoonPeriodMs;
        FSoonTimer.start(int(std::max<qint64>(0, FSoonPeriodMs - since)));
    }
}

void TDataWindowStack::ShowSoon()
{
    if (TFrmData *window = FSoon) {
        FSoon = nullptr;
        BringToFront(window);
    }
}

TFrmData *TDataWindowStack::Front() const
{
    return FSoon ? FSoon.data() : FFront.data();
}

bool TDataWindowStack::IsWaiting(const TFrmData *window) const
{
    return window && (!window->IsBuilt() || window->Frame()->parentWidget() != FArea->viewport());
}

QMdiSubWindow *TDataWindowStack::Present(TFrmData *window)
{
    TChanging changing(FChanging);
    Forget(window);
    QMdiSubWindow *frame = window->Frame();
    if (!frame) {
        // What is in the area makes room first: a new window shown maximised would have the area
        // restore the one it covers to its normal size (a layout of every control there, for
        // nothing).
        if (FSideBySide)
            KeepInArea(SideBySideCap - 1, FFront && FFront != window ? FFront->Frame() : nullptr);
        else
            ParkAllBut(nullptr);
        frame = window->Build();
        Watch(frame);
        if (FSideBySide)
            frame->show();
        else
            frame->showMaximized();
    } else {
        Watch(frame);
        TakeBack(frame);
        if (!FSideBySide) {
            if (!frame->isVisible() || !frame->isMaximized()) {
                frame->showNormal();
                frame->showMaximized();
            }
        } else if (frame->isMinimized() || !frame->isVisible()) {
            frame->showNormal();
        }
        // A window minimised and then taken out of the area comes back with its contents still
        // hidden, as the area hid them for the icon: they belong to the window, shown.
        if (QWidget *contents = frame->widget(); contents && contents->isHidden())
            contents->show();
    }
    FArea->setActiveSubWindow(frame);
    frame->raise();
    return frame;
}

void TDataWindowStack::Activated(QMdiSubWindow *frame)
{
    // The user brought a window forward in the area: the tree follows.
    TFrmData *window = DataOf(frame);
    if (FChanging || !window || window == FFront)
        return;
    FFront = window;
    emit frontChanged(window);
}

void TDataWindowStack::ShowSideBySide(TFrmData *front)
{
    TChanging changing(FChanging);
    FSideBySide = true;
    FFront = front;
    std::vector<TFrmData *> joining;
    for (auto it = FWaiting.rbegin(); it != FWaiting.rend() && int(joining.size()) < SideBySideCap - 1; ++it)
        if (*it && !isMinimised(*it) && std::find(joining.begin(), joining.end(), *it) == joining.end())
            joining.push_back(*it);
    // The most recent end up on top, the restored window above them all.
    for (auto it = joining.rbegin(); it != joining.rend(); ++it)
        Present(*it);
    FArea->setActiveSubWindow(front->Frame());
    front->Frame()->raise();
    Arrange();
}

void TDataWindowStack::Arrange()
{
    FArrangePending = false;
    if (!FSideBySide)
        return;
    TChanging changing(FChanging);
    // Oldest activated first, so that cascaded the active one ends on top; tiled, in the order
    // they joined the area, which a change of the active window leaves as it is.
    const QList<QMdiSubWindow *> byUse = FArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    QRect area = FArea->viewport()->rect();
    QList<QMdiSubWindow *> shown;
    QSize minimum(0, 0);
    for (QMdiSubWindow *w : byUse) {
        if (w->isMinimized()) {
            area.setBottom(std::min(area.bottom(), w->geometry().top() - 1));
            continue;
        }
        if (!w->isVisible() || w->isMaximized())
            continue;
        shown << w;
        minimum = minimum.expandedTo(w->minimumSizeHint());
    }
    if (shown.isEmpty())
        return;
    std::vector<QRect> places = windowplaces::Tiled(area, int(shown.size()), minimum);
    if (!places.empty()) {
        const QList<QMdiSubWindow *> joined = FArea->subWindowList(QMdiArea::CreationOrder);
        std::stable_sort(shown.begin(), shown.end(),
                         [&joined](QMdiSubWindow *a, QMdiSubWindow *b) { return joined.indexOf(a) < joined.indexOf(b); });
        for (int i = 0; i < shown.size(); ++i)
            shown[i]->setGeometry(places[size_t(i)]);
        return;
    }
    // A step of a title bar's height, so that every title stays in sight.
    QMdiSubWindow *top = shown.last();
    const int step = top->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, top)
        + top->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, top);
    places = windowplaces::Cascaded(area, int(shown.size()), minimum, step);
    for (int i = 0; i < shown.size(); ++i) {
        shown[i]->setGeometry(places[size_t(i)]);
        shown[i]->raise();
    }
}

void TDataWindowStack::ScheduleArrange()
{
    if (FArrangePending)
        return;
    FArrangePending = true;
    QMetaObject::invokeMethod(this, &TDataWindowStack::Arrange, Qt::QueuedConnection);
}

bool TDataWindowStack::eventFilter(QObject *watched, QEvent *event)
{
    // A window side by side never ends outside the area, however it changes size. The viewport is
    // compared as it was met: while the area is being destroyed it may still send events, and the
    // area is no longer one to ask.
    if (watched == FViewport && event->type() == QEvent::Resize && FSideBySide)
        ScheduleArrange();
    return QObject::eventFilter(watched, event);
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

void TDataWindowStack::Watch(QMdiSubWindow *frame)
{
    connect(frame, &QMdiSubWindow::windowStateChanged, this, &TDataWindowStack::StateChanged, Qt::UniqueConnection);
    connect(frame, &QObject::destroyed, this, &TDataWindowStack::ScheduleSettle, Qt::UniqueConnection);
}

void TDataWindowStack::StateChanged(Qt::WindowStates oldState, Qt::WindowStates newState)
{
    auto *frame = qobject_cast<QMdiSubWindow *>(sender());
    TFrmData *window = DataOf(frame);
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
            ParkAllBut(frame);
            emit frontChanged(window);
            return;
        }
        // One side by side went to an icon, or came back from one: the others close up or make room.
        if (FSideBySide && ((oldState ^ newState) & Qt::WindowMinimized))
            ScheduleArrange();
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
    // One is about to come to the front anyway.
    if (FSoon)
        return;
    const auto inArea = [this](const TFrmData *w) {
        return w->IsBuilt() && w->Frame()->parentWidget() == FArea->viewport() && !w->Frame()->isMinimized();
    };
    if (FSideBySide) {
        // The others stay where the user put them. The front one went to an icon or away: the
        // active one is in front, else the topmost one shown, made active; with none shown, none.
        if (FFront && inArea(FFront))
            return;
        TFrmData *front = nullptr;
        if (QMdiSubWindow *active = FArea->activeSubWindow(); active && !active->isMinimized())
            front = DataOf(active);
        const QList<QMdiSubWindow *> stacked = FArea->subWindowList(QMdiArea::StackingOrder);
        for (auto it = stacked.rbegin(); it != stacked.rend() && !front; ++it)
            if (TFrmData *w = DataOf(*it); w && inArea(w))
                front = w;
        const bool changed = FFront != front;
        FFront = front;
        if (front) {
            TChanging changing(FChanging);
            FArea->setActiveSubWindow(front->Frame());
        }
        if (changed)
            emit frontChanged(front);
        return;
    }
    TChanging changing(FChanging);

    TFrmData *front = FFront;
    if (front && !inArea(front))
        front = nullptr;
    if (!front) {
        // One the user restored or maximised in the area.
        const QList<QMdiSubWindow *> shown = FArea->subWindowList(QMdiArea::ActivationHistoryOrder);
        for (auto it = shown.rbegin(); it != shown.rend() && !front; ++it)
            if (!(*it)->isMinimized())
                front = DataOf(*it);
    }
    if (!front)
        for (auto it = FWaiting.rbegin(); it != FWaiting.rend() && !front; ++it)
            if (!isMinimised(*it))
                front = *it;
    if (front) {
        const bool changed = FFront != front;
        FFront = front;
        ParkAllBut(Present(front));
        if (changed)
            emit frontChanged(front);
        return;
    }
    // Nothing left to show maximised: the minimised windows show as icons, as in a plain area,
    // and none is in front.
    const bool changed = FFront != nullptr;
    FFront = nullptr;
    if (changed)
        emit frontChanged(nullptr);
    const std::vector<QPointer<TFrmData>> minimised = FWaiting;
    for (const QPointer<TFrmData> &w : minimised)
        if (w && w->IsBuilt()) {
            TakeBack(w->Frame());
            w->Frame()->showMinimized();
        }
}

void TDataWindowStack::Wait(QMdiSubWindow *frame)
{
    // Straight to the holder, which is in the same top-level window: removeSubWindow would make
    // it a top-level of its own first, and each move between top-levels walks the focus chain of
    // every widget of the main window. The area drops it from its list when its viewport loses
    // the child; but while the area is hidden it does not notice that its active window went,
    // so that one is deactivated first.
    if (FArea->activeSubWindow() == frame)
        FArea->setActiveSubWindow(nullptr);
    frame->setParent(FHolder);
    Quieten(frame);
    // It was in the area, so not among the waiting ones yet.
    if (TFrmData *window = DataOf(frame))
        Enqueue(window);
}

void TDataWindowStack::TakeBack(QMdiSubWindow *frame)
{
    if (frame->parentWidget() == FArea->viewport())
        return;
    Forget(DataOf(frame));
    Wake(frame);
    FArea->addSubWindow(frame);
}

void TDataWindowStack::Enqueue(TFrmData *window)
{
    FWaiting.emplace_back(window);
    ++FWaitingCount[window];
}

void TDataWindowStack::Forget(TFrmData *window)
{
    // Most windows brought forward never waited (the newest of a burst of connections): no walk
    // through the thousands that do.
    const auto counted = FWaitingCount.find(window);
    if (counted == FWaitingCount.end())
        return;
    if (--counted->second == 0)
        FWaitingCount.erase(counted);
    // The ones looked for are nearly always among the most recent.
    for (auto it = FWaiting.rbegin(); it != FWaiting.rend(); ++it)
        if (*it == window) {
            FWaiting.erase(std::next(it).base());
            return;
        }
}

void TDataWindowStack::Quieten(QMdiSubWindow *frame)
{
    QObject::disconnect(qApp, SIGNAL(focusChanged(QWidget *, QWidget *)), frame, nullptr);
    if (QMenu *menu = frame->systemMenu())
        for (QAction *action : menu->actions())
            if (!action->shortcuts().isEmpty()) {
                action->setProperty(WaitingShortcuts, QVariant::fromValue(action->shortcuts()));
                action->setShortcuts({});
            }
}

void TDataWindowStack::Wake(QMdiSubWindow *frame)
{
    // The connection the sub-window makes for itself when it is made.
    QObject::connect(qApp, SIGNAL(focusChanged(QWidget *, QWidget *)), frame,
                     SLOT(_q_processFocusChanged(QWidget *, QWidget *)), Qt::UniqueConnection);
    if (QMenu *menu = frame->systemMenu())
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
