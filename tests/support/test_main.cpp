// Entry point of every test executable: GoogleTest inside the application object, so that
// widgets work and errors escaping event handlers reach the (recorded) error box.

#include <gtest/gtest.h>

// Qt
#include <QLocale>

#include "TApplication.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
