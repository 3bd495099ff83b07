#pragma once
// Assistive technologies see a skinned button as a push button: role Button, its caption as
// its name, and a press action that presses it as the left mouse button would: the click, then
// the mouse-up.

// Qt
#include <QAccessibleWidget>

class TsuiCustomButton;

class TsuiButtonAccessible : public QAccessibleWidget {
public:
    explicit TsuiButtonAccessible(TsuiCustomButton *button);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    TsuiCustomButton *button() const;
};

// Registers the interface factory for skinned buttons (once; later calls do nothing).
void InstallButtonAccessibility();
