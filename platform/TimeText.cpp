#include "TimeText.h"

// Qt
#include <QDate>
#include <QLocale>
#include <QTime>

namespace {

// Qt's long time format carries the time zone ("t", "tt", ...): drop it, and the blanks around it,
// leaving quoted literal text alone.
QString timeFormatWithoutZone()
{
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.simplified();
}

} // namespace

// The user's own locale, the system's: the default locale is the program's language (Chinese),
// which the toolkit's dialogs write in.
QString LongTimeText(const QTime &time)
{
    static const QString format = timeFormatWithoutZone();
    return QLocale::system().toString(time, format);
}

QString ShortDateText(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString DateTimeText(const QDate &date, const QTime &time)
{
    return ShortDateText(date) + QLatin1Char(' ') + LongTimeText(time);
}
