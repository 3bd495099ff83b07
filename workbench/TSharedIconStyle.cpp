#include "TSharedIconStyle.h"

TSharedIconStyle::TSharedIconStyle(const QString &baseStyleName) : QProxyStyle(baseStyleName) {}

QIcon TSharedIconStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption *option,
                                     const QWidget *widget) const
{
    // An icon asked for with an option may depend on it: made each time, as before.
    if (option)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    auto it = FIcons.constFind(standardIcon);
    if (it == FIcons.constEnd())
        it = FIcons.insert(standardIcon, QProxyStyle::standardIcon(standardIcon, nullptr, widget));
    return *it;
}
