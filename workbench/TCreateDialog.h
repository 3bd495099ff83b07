#pragma once
// What the five endpoint creation dialogs share: the cream sizeable form at its designed place,
// controls at fixed positions, and the modal results. OK ends with 1 and Cancel with 2 (the
// close box too); no key ends the dialog.

// Qt
#include <QDialog>

class QLabel;
class QLineEdit;
class TsuiButton;

// Modal results.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

class TCreateDialog : public QDialog {
    Q_OBJECT
public:
    // The close box, and anything else that rejects the dialog, ends it with Cancel.
    void reject() override;

protected:
    // caption, window size and its position on the screen.
    TCreateDialog(QWidget *parent, const QString &caption, const QRect &window);

    QLabel *AddLabel(const char *name, const QString &caption, const QRect &r);
    // Edit boxes are tab stops in the order they are added.
    QLineEdit *AddEdit(const char *name, const QString &text, const QRect &r);
    // Skinned buttons, reached with the mouse only: no tab stop, never the default button, no
    // modal result of their own (their click handlers end the dialog).
    TsuiButton *AddButton(const char *name, const QString &caption, const QRect &r);

    void keyPressEvent(QKeyEvent *event) override;

private:
    QLineEdit *FLastEdit = nullptr;
};
