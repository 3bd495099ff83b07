// Painting held back while changes follow each other closely: the first change paints, those
// within the period after it wait for its end, and nothing stays held.

#include <gtest/gtest.h>

// Qt
#include <QWidget>

#include "TPaintThrottle.h"
#include "TestSupport.h"

using namespace testing_support;

TEST(PaintThrottle, HoldsOnlyWhileChangesFollowClosely)
{
    QWidget a;
    QWidget b;
    QWidget *gone = new QWidget;
    TPaintThrottle throttle({&a, &b, gone}, 40, nullptr);

    throttle.Changed();
    EXPECT_FALSE(throttle.Holding());
    EXPECT_TRUE(a.updatesEnabled() && b.updatesEnabled());

    throttle.Changed();
    EXPECT_TRUE(throttle.Holding());
    EXPECT_FALSE(a.updatesEnabled() || b.updatesEnabled());
    delete gone; // a widget may go while painting is held
    throttle.Changed();
    ASSERT_TRUE(WaitUntil([&] { return !throttle.Holding(); }));
    EXPECT_TRUE(a.updatesEnabled() && b.updatesEnabled());

    // Once released, a lone change paints at once again.
    throttle.Changed();
    EXPECT_FALSE(throttle.Holding());
    EXPECT_TRUE(a.updatesEnabled());
}
