#include "TCreateDialog.h"

// Qt
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

// skin
#include "TsuiButton.h"

TCreateDialog::TCreateDialog(QWidget *parent, const QString &caption, const QRect &window)
    : QDialog(parent)
{
    setWindowTitle(caption);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11); // 8 points at 96 dots per inch
    setFont(f);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 251, 240)); // clCream
    setPalette(pal);
    resize(window.size());
    move(window.topLeft());
}

void TCreateDialog::reject()
{
    done(mrCancel);
}

QLabel *TCreateDialog::AddLabel(const char *name, const QString &caption, const QRect &r)
{
    auto *label = new QLabel(caption, this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(r);
    return label;
}

QLineEdit *TCreateDialog::AddEdit(const char *name, const QString &text, const QRect &r)
{
    auto *edit = new QLineEdit(text, this);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(r);
    if (FLastEdit)
        setTabOrder(FLastEdit, edit);
    FLastEdit = edit;
    return edit;
}

TsuiButton *TCreateDialog::AddButton(const char *name, const QString &caption, const QRect &r)
{
    return NewFormButton(this, name, caption, r);
}

void TCreateDialog::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject on Escape and click a default button on Enter.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
