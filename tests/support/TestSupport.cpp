#include "TestSupport.h"

// Qt
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace testing_support {

MessageRecorder::MessageRecorder(bool pumpWhileOpen)
{
    FPrevious = ui::SetMessageSink([this, pumpWhileOpen](ui::BoxKind kind, const QString &text) {
        (kind == ui::BoxKind::Error ? errors : messages).append(text);
        all.append(text);
        if (pumpWhileOpen)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    });
}

MessageRecorder::~MessageRecorder()
{
    ui::SetMessageSink(std::move(FPrevious));
}

void MessageRecorder::clear()
{
    messages.clear();
    errors.clear();
    all.clear();
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void DrainEvents()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

} // namespace testing_support
