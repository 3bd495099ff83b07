// An error raised inside an event handler reaches the standard error box with its message, and
// the event loop goes on. Every window carries the program's icon.

#include <gtest/gtest.h>

// Qt
#include <QMdiSubWindow>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "Exception.h"
#include "ProgramIcon.h"
#include "TMySocket.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "datapanel.h"
#include "newserversock.h"

using testing_support::MessageRecorder;
using testing_support::WaitUntil;

namespace {

class Thrower : public QObject {
public:
    int handled = 0;
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            ++handled;
            throw Exception(QStringLiteral("'abc' is not a valid integer value"));
        }
        if (e->type() == QEvent::Type(QEvent::User + 1)) {
            ++handled;
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(Application, ErrorInEventHandlerReachesErrorBoxAndLoopGoesOn)
{
    MessageRecorder recorder;
    Thrower target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
    ASSERT_TRUE(WaitUntil([&] { return target.handled == 2; }));
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_EQ(recorder.errors[0], QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST(Application, ErrorInTimerSlotReachesErrorBox)
{
    MessageRecorder recorder;
    bool after = false;
    QTimer::singleShot(0, [] { throw Exception(QStringLiteral("Windows socket error: x (10048), on API 'bind'")); });
    QTimer::singleShot(1, [&] { after = true; });
    ASSERT_TRUE(WaitUntil([&] { return after; }));
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_EQ(recorder.errors[0], QStringLiteral("Windows socket error: x (10048), on API 'bind'"));
}

TEST(Application, StandardExceptionTextReachesErrorBox)
{
    MessageRecorder recorder;
    bool after = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("plain failure"); });
    QTimer::singleShot(1, [&] { after = true; });
    ASSERT_TRUE(WaitUntil([&] { return after; }));
    ASSERT_EQ(recorder.errors, QStringList{QStringLiteral("plain failure")});
}

TEST(Application, ErrorInGuardedButtonHandlerReachesErrorBoxAndButtonStaysUsable)
{
    MessageRecorder recorder;
    QPushButton button(QStringLiteral("go"));
    int calls = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, ui::Guarded([&] {
                         ++calls;
                         throw EConvertError(QStringLiteral("'abc' is not a valid integer value"));
                     }));
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(recorder.errors, QStringList({QStringLiteral("'abc' is not a valid integer value"),
                                            QStringLiteral("'abc' is not a valid integer value")}));
    EXPECT_FALSE(button.isDown());
}

TEST(Application, EveryWindowCarriesTheProgramIcon)
{
    const QIcon program = ProgramIcon();
    ASSERT_FALSE(program.isNull());
    // Drawn for the smallest title bar and the largest launcher alike, not scaled from one size.
    EXPECT_TRUE(program.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(program.availableSizes().contains(QSize(256, 256)));

    MessageRecorder recorder;
    TForm1 form;
    TfrmNewServerSock dialog(&form);
    TMySocket *client = form.CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    ASSERT_NE(client->DataWindow, nullptr);
    for (int size : {16, 32, 48}) {
        const QImage expected = program.pixmap(QSize(size, size)).toImage();
        for (const QWidget *window : {static_cast<const QWidget *>(&form), static_cast<const QWidget *>(&dialog),
                                      static_cast<const QWidget *>(client->DataWindow->Frame())}) {
            const QIcon icon = window->windowIcon();
            ASSERT_FALSE(icon.isNull()) << window->metaObject()->className();
            EXPECT_EQ(icon.pixmap(QSize(size, size)).toImage(), expected) << window->metaObject()->className() << " at " << size;
        }
    }
}
