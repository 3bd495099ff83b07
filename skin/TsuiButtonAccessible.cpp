#include "TsuiButtonAccessible.h"

// Qt
#include <QKeySequence>

#include "TsuiCustomButton.h"

namespace {

// The caption as read out: the accelerator's "&" dropped, "&&" a plain "&".
QString spokenCaption(const QString &caption)
{
    QString out;
    out.reserve(caption.size());
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&'))
                ++i;
            else
                continue;
        }
        out += caption[i];
    }
    return out;
}

QAccessibleInterface *buttonFactory(const QString &, QObject *object)
{
    if (auto *button = qobject_cast<TsuiCustomButton *>(object))
        return new TsuiButtonAccessible(button);
    return nullptr;
}

} // namespace

TsuiButtonAccessible::TsuiButtonAccessible(TsuiCustomButton *button) : QAccessibleWidget(button, QAccessible::Button)
{
}

TsuiCustomButton *TsuiButtonAccessible::button() const
{
    return static_cast<TsuiCustomButton *>(widget());
}

QString TsuiButtonAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: {
        const QString name = widget()->accessibleName();
        return name.isEmpty() ? spokenCaption(button()->Caption()) : name;
    }
    case QAccessible::Accelerator: {
        const QKeySequence mnemonic = QKeySequence::mnemonic(button()->Caption());
        return mnemonic.toString(QKeySequence::NativeText);
    }
    default:
        return QAccessibleWidget::text(t);
    }
}

QAccessible::State TsuiButtonAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.pressed = button()->MouseDown();
    return s;
}

QStringList TsuiButtonAccessible::actionNames() const
{
    QStringList names;
    if (widget()->isEnabled())
        names << pressAction();
    return names + QAccessibleWidget::actionNames();
}

void TsuiButtonAccessible::doAction(const QString &actionName)
{
    if (actionName == pressAction()) {
        if (widget()->isEnabled())
            button()->PressAndRelease();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

QStringList TsuiButtonAccessible::keyBindingsForAction(const QString &actionName) const
{
    if (actionName == pressAction()) {
        const QString accelerator = text(QAccessible::Accelerator);
        return accelerator.isEmpty() ? QStringList() : QStringList(accelerator);
    }
    return QAccessibleWidget::keyBindingsForAction(actionName);
}

void InstallButtonAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(buttonFactory);
        return true;
    }();
    (void)installed;
}
