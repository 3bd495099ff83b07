#pragma once
// Date and time as the user's locale writes them, the way the original platform's short date
// and long time formats read: hours, minutes and seconds with no time zone.

// Qt
#include <QString>

class QDate;
class QTime;

QString LongTimeText(const QTime &time);
QString ShortDateText(const QDate &date);
// Short date, a blank, long time.
QString DateTimeText(const QDate &date, const QTime &time);
