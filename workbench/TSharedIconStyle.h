#pragma once
// The application's style with its standard icons made once and shared. The style builds each
// standard icon afresh from its picture files on every request, and every document window asks
// for its own set (title bar and system menu): some 37 KiB and a few picture decodings per data
// window, with one window per accepted connection. The icons themselves are the same.

// Qt
#include <QHash>
#include <QIcon>
#include <QProxyStyle>

class TSharedIconStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Draws as the named style does.
    explicit TSharedIconStyle(const QString &baseStyleName);

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;

private:
    mutable QHash<int, QIcon> FIcons;
};
