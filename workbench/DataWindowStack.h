#pragma once
// The data windows of the document area, one shown at a time: the front window, maximised and
// active. The others wait outside the area, hidden, most recent first, until they are brought to
// the front again or the front window goes (freed or minimised) and the most recent one takes
// its place. A window that was never shown has no frame yet (see TFrmData): it is built when it
// first comes to the front.
//
// Restored by the user from maximised (its title bar, its system menu), the front window is shown
// beside the most recent others, each at its normal size, as in any multiple-document window; at
// most SideBySideCap windows are in the area then, the least recently used waiting. Maximising
// any of them makes it the front window again and the others wait. Side by side, the windows are
// placed anew whenever one joins them, goes to an icon or comes back from one, or the area changes
// size: tiled when each fits at its minimum size, else cascaded, each inside the area
// (WindowPlaces.h).
//
// Why not leave them all in the area: QMdiArea walks every child of its viewport, with a linear
// search of its window list for each, whenever a window is added, raised or maximised. A new
// window costs that twice, so with one window per connection each new one costs more than the
// last (quadratic in the number of windows). Behind a maximised front window nothing else can be
// seen, so nothing the user sees changes when the rest wait outside.
//
// Why some windows come to the front later: a server taking connections in quick succession
// brings each new one's window to the front; building each would cost far more than the
// connection. Those come to the front at most once a period, the latest one each time.

#include <unordered_map>
#include <vector>

// Qt
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QMdiArea;
class QMdiSubWindow;
class QWidget;
class TFrmData;

class TDataWindowStack : public QObject {
    Q_OBJECT
public:
    // Waiting windows are children of holder (hidden), so that they end with it.
    TDataWindowStack(QMdiArea *area, QWidget *holder);

    // A new data window, not shown yet.
    void Add(TFrmData *window);

    // Makes the window the front one, built if it is not yet: back in the area if it waited,
    // shown maximised, active, on top. The windows behind it wait.
    void BringToFront(TFrmData *window);
    // The same for a new window, within a period: a later one brought forward before then takes
    // its place, and it waits as if it had been in front.
    void BringToFrontSoon(TFrmData *window);
    static constexpr int SoonPeriodMs = 40;
    // The period from the next one on (the one running keeps its length).
    void SetSoonPeriod(int periodMs) { FSoonPeriodMs = periodMs; }

    // The window in front now, or about to be.
    TFrmData *Front() const;
    // Every data window, in the area, waiting or never shown.
    int Count() const { return FCount; }
    bool IsWaiting(const TFrmData *window) const;
    // Windows are shown side by side at their normal size, not one maximised.
    bool SideBySide() const { return FSideBySide; }
    // The most windows in the area side by side: a user compares a few at a time, and the area's
    // cost grows with every window it holds.
    static constexpr int SideBySideCap = 16;
    // Side by side: places every window of the area that is not minimised anew, tiled or
    // cascaded, the active one on top. The icons of minimised ones keep their row at the bottom.
    void Arrange();

signals:
    // Another window came to the front on its own (the one in front was minimised or freed), or
    // the user brought one forward in the area; null when none is in front any more (every one
    // left is an icon).
    void frontChanged(TFrmData *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static TFrmData *DataOf(QMdiSubWindow *frame);
    void Watch(QMdiSubWindow *frame);
    void StateChanged(Qt::WindowStates oldState, Qt::WindowStates newState);
    void Activated(QMdiSubWindow *frame);
    void ShowSoon();
    // The user restored the front window: the most recent waiting ones join it.
    void ShowSideBySide(TFrmData *front);
    // Arrange on the next pass of the event loop, once however often asked.
    void ScheduleArrange();
    // Side by side: the least recently active windows wait until at most keep are in the area.
    void KeepInArea(int keep, QMdiSubWindow *front);
    // After the front window was freed or minimised: on the next pass of the event loop (never
    // inside the window's own events), the most recent window that was not minimised takes its
    // place; with none left, the minimised ones show as icons.
    void ScheduleSettle();
    void Settle();
    // The window's frame in the area, made if it has none yet: shown maximised, or at its normal
    // size when side by side.
    QMdiSubWindow *Present(TFrmData *window);
    void Wait(QMdiSubWindow *frame);
    void TakeBack(QMdiSubWindow *frame);
    void Forget(TFrmData *window);
    void Enqueue(TFrmData *window);
    // A waiting window can take no focus and no key. Every document window hears of every focus
    // change in the application, and the actions of every system menu sit in the one shortcut
    // table that each change of any action's state scans: with hundreds of windows that came to
    // more than a new window's own cost. A waiting window is let out of both, and back again.
    void Quieten(QMdiSubWindow *frame);
    void Wake(QMdiSubWindow *frame);
    void ParkAllBut(QMdiSubWindow *front);

    QMdiArea *FArea;
    // The area's viewport, whose size changes are watched.
    QObject *FViewport = nullptr;
    QWidget *FHolder;
    QPointer<TFrmData> FFront;
    // The window to come to the front within the period.
    QPointer<TFrmData> FSoon;
    QTimer FSoonTimer;
    int FSoonPeriodMs = SoonPeriodMs;
    QElapsedTimer FLastShown;
    // Windows not in the area (waiting, or never shown), most recent last.
    std::vector<QPointer<TFrmData>> FWaiting;
    // How often each live window is in FWaiting.
    std::unordered_map<const TFrmData *, int> FWaitingCount;
    int FCount = 0;
    bool FSettlePending = false;
    bool FArrangePending = false;
    bool FSideBySide = false;
    // State and activation changes made here, not by the user.
    int FChanging = 0;
};
