#pragma once
// A fixture with a shown main window of its own and a recorder for every box it opens. The
// window goes first at the end, while its boxes are still recorded, and the events its end
// leaves behind are handled before the next test.

#include <memory>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "Unit1.h"

namespace testing_support {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        form->show();
    }

    void TearDown() override
    {
        form.reset();
        DrainEvents();
    }

    MessageRecorder recorder;
    std::unique_ptr<TForm1> form;
};

} // namespace testing_support
