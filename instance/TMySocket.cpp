#include "TMySocket.h"

// Qt
#include <QDateTime>

// platform
#include "TimeText.h"

QString CreationTimeText()
{
    // Made once a second: the local time and the locale's formatting cost more than the rest of
    // an accepted connection's instance, and a burst brings thousands within the same second.
    static qint64 second = -1;
    static QString text;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(now);
        text = DateTimeText(local.date(), local.time());
        second = now;
    }
    return text;
}
