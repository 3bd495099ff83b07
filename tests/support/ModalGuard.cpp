#include "ModalGuard.h"

#include <gtest/gtest.h>

// Qt
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace testing_support {

ModalAnswer::ModalAnswer(std::function<void(QDialog *)> answer, int waitMs) : FTimer(new QTimer)
{
    FTimer->setInterval(5);
    const QDeadlineTimer deadline(waitMs);
    QObject::connect(FTimer, &QTimer::timeout, [this, answer, deadline] {
        QPointer<QDialog> dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (deadline.hasExpired())
                FTimer->stop();
            return;
        }
        FTimer->stop();
        FAnswered = true;
        answer(dialog);
        if (dialog && dialog->isVisible()) {
            ADD_FAILURE() << "the dialog " << dialog->objectName().toStdString() << " was left open by its answer";
            dialog->done(QDialog::Rejected);
            dialog->hide();
        }
    });
    FTimer->start();
}

ModalAnswer::~ModalAnswer()
{
    delete FTimer;
    if (!FAnswered)
        ADD_FAILURE() << "no modal dialog came to be answered";
}

} // namespace testing_support
