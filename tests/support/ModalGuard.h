#pragma once
// Answers the next modal dialog from inside its own event loop, for tests that open one with
// exec() (directly, or through a command that does). The answer must end the dialog: one still
// open right after it fails the test at once and is cancelled, so a refused OK never hangs the
// test until ctest's timeout. A dialog that never came fails the test when the guard goes.
//
//   ModalAnswer answer([](QDialog *d) { QTest::mouseClick(okButton(d), Qt::LeftButton); });
//   form->Button1Click(); // runs the dialog's loop; the answer comes from inside it

#include <functional>

class QDialog;
class QTimer;

namespace testing_support {

class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(QDialog *)> answer, int waitMs = 10000);
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer &) = delete;
    ModalAnswer &operator=(const ModalAnswer &) = delete;

    bool Answered() const { return FAnswered; }

private:
    QTimer *FTimer;
    bool FAnswered = false;
};

} // namespace testing_support
