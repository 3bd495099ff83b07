#pragma once
// Painting of a few widgets held back while changes follow each other closely: the first change
// paints as always, the ones that come within the period after it are painted together when the
// period ends. A peer opening hundreds of connections one after another would otherwise have the
// tree and the newest data window painted anew for every one of them, which costs more than
// making the node and the window; nobody can follow a screen that changes more often anyway.

#include <initializer_list>

// Qt
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

class TPaintThrottle : public QObject {
    Q_OBJECT
public:
    TPaintThrottle(std::initializer_list<QWidget *> widgets, int periodMs, QObject *parent);

    // The period from the next one on (the one running keeps its length).
    void SetPeriod(int periodMs) { FPeriodMs = periodMs; }
    // Something in the widgets changed.
    void Changed();
    // True while painting is held back.
    bool Holding() const { return FHolding; }

private:
    void PeriodEnded();

    QList<QPointer<QWidget>> FWidgets;
    QTimer FPeriod;
    int FPeriodMs;
    bool FHolding = false;
};
