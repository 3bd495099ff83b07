#include "TMySocket.h"

// Qt
#include <QDateTime>

// platform
#include "TimeText.h"

QString CreationTimeText()
{
    const QDateTime now = QDateTime::currentDateTime();
    return DateTimeText(now.date(), now.time());
}
