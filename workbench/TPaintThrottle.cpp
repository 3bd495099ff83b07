#include "TPaintThrottle.h"

// Qt
#include <QWidget>

TPaintThrottle::TPaintThrottle(std::initializer_list<QWidget *> widgets, int periodMs, QObject *parent)
    : QObject(parent), FPeriodMs(periodMs)
{
    for (QWidget *w : widgets)
        FWidgets.append(w);
    FPeriod.setSingleShot(true);
    connect(&FPeriod, &QTimer::timeout, this, &TPaintThrottle::PeriodEnded);
}

void TPaintThrottle::Changed()
{
    if (!FPeriod.isActive()) {
        FPeriod.start(FPeriodMs);
        return;
    }
    // Not restarted: while changes keep coming, the widgets are still painted once a period.
    if (!FHolding) {
        FHolding = true;
        for (QWidget *w : FWidgets)
            if (w)
                w->setUpdatesEnabled(false);
    }
}

void TPaintThrottle::PeriodEnded()
{
    if (!FHolding)
        return;
    FHolding = false;
    // Painted anew in full.
    for (QWidget *w : FWidgets)
        if (w)
            w->setUpdatesEnabled(true);
}
