#pragma once
// The data windows of the document area, one shown at a time: the front window, maximised and
// active. The others wait outside the area, hidden, most recent first, until they are brought to
// the front again or the front window goes (freed or minimised) and the most recent one takes
// its place.
//
// Restored by the user from maximised (its title bar, its system menu), the front window is shown
// beside the most recent others, each at its normal size, as in any multiple-document window; at
// most SideBySideCap windows are in the area then, the least recently used waiting. Maximising
// any of them makes it the front window again and the others wait.
//
// Why not leave them all in the area: QMdiArea walks every child of its viewport, with a linear
// search of its window list for each, whenever a window is added, raised or maximised. A new
// window costs that twice, so with one window per connection each new one costs more than the
// last (quadratic in the number of windows). Behind a maximised front window nothing else can be
// seen, so nothing the user sees changes when the rest wait outside.

#include <vector>

// Qt
#include <QObject>
#include <QPointer>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

class TDataWindowStack : public QObject {
    Q_OBJECT
public:
    // Waiting windows are children of holder (hidden), so that they end with it.
    TDataWindowStack(QMdiArea *area, QWidget *holder);

    // Makes the window the front one: back in the area if it waited, shown maximised, active, on
    // top. The windows behind it wait. A window that went to the area on its own (a new one) is
    // taken in here as well.
    void BringToFront(QMdiSubWindow *window);

    // Before a new window goes into the area: what is there waits. A new window is shown
    // maximised at once, and the area would first restore the one it covers to its normal size
    // (a layout of every control there, for nothing).
    void MakeRoom();

    // The window shown now (the active one when side by side), if any.
    QMdiSubWindow *Front() const;
    // Windows are shown side by side at their normal size, not one maximised.
    bool SideBySide() const { return FSideBySide; }
    // New windows open maximised, unless the windows are side by side.
    bool NewWindowsMaximised() const { return !FSideBySide; }
    // The most windows in the area side by side: a user compares a few at a time, and the area's
    // cost grows with every window it holds.
    static constexpr int SideBySideCap = 16;
    // Every window, in the area or waiting.
    int Count() const;
    bool IsWaiting(const QMdiSubWindow *window) const;

signals:
    // Another window came to the front on its own: the one in front was minimised or freed.
    void frontChanged(QMdiSubWindow *window);

private:
    void Watch(QMdiSubWindow *window);
    void StateChanged(Qt::WindowStates oldState, Qt::WindowStates newState);
    void Activated(QMdiSubWindow *window);
    // The user restored the front window: the most recent waiting ones join it.
    void ShowSideBySide(QMdiSubWindow *front);
    // Side by side: the least recently active windows wait until at most keep are in the area.
    void KeepInArea(int keep, QMdiSubWindow *front);
    // After the front window was freed or minimised: on the next pass of the event loop (never
    // inside the window's own events), the most recent window that was not minimised takes its
    // place; with none left, the minimised ones show as icons.
    void ScheduleSettle();
    void Settle();
    void Show(QMdiSubWindow *window);
    void Wait(QMdiSubWindow *window);
    void TakeBack(QMdiSubWindow *window);
    // A waiting window can take no focus and no key. Every document window hears of every focus
    // change in the application, and the actions of every system menu sit in the one shortcut
    // table that each change of any action's state scans: with hundreds of windows that came to
    // more than a new window's own cost. A waiting window is let out of both, and back again.
    void Quieten(QMdiSubWindow *window);
    void Wake(QMdiSubWindow *window);
    void ParkAllBut(QMdiSubWindow *front);

    QMdiArea *FArea;
    QWidget *FHolder;
    QPointer<QMdiSubWindow> FFront;
    // Most recent last.
    std::vector<QPointer<QMdiSubWindow>> FWaiting;
    bool FSettlePending = false;
    bool FSideBySide = false;
    // State and activation changes made here, not by the user.
    int FChanging = 0;
};
