#pragma once

#include <QProxyStyle>

// The application's style, except that the menu bar's overflow button gets
// its icon when it is first drawn rather than when the menu bar is made.
// The button is hidden unless the window is too narrow for its menus, and
// reading the icon's file at start means consulting every image format
// plugin before the window can be shown.
class DeferredIconStyle final : public QProxyStyle
{
public:
    // Takes `base` (the application's own style) and draws with it.
    explicit DeferredIconStyle(QStyle *base);

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};
