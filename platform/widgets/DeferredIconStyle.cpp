#include "platform/widgets/DeferredIconStyle.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace {

// An icon made by `make` the first time anything asks it for pixels or
// sizes; copies share what was made.
class DeferredIconEngine final : public QIconEngine
{
public:
    explicit DeferredIconEngine(std::function<QIcon()> make) : m_state(std::make_shared<State>(std::move(make))) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    // Not made yet counts as not null: the style's own icons are files it
    // carries.
    bool isNull() override { return m_state->icon && m_state->icon->isNull(); }
    QString key() const override { return QStringLiteral("deferred"); }
    QIconEngine *clone() const override { return new DeferredIconEngine(*this); }

private:
    struct State {
        explicit State(std::function<QIcon()> f) : make(std::move(f)) {}
        std::function<QIcon()> make;
        std::optional<QIcon> icon;
    };

    const QIcon &icon()
    {
        if (!m_state->icon)
            m_state->icon = m_state->make();
        return *m_state->icon;
    }

    std::shared_ptr<State> m_state;
};

} // namespace

DeferredIconStyle::DeferredIconStyle(QStyle *base) : QProxyStyle(base) {}

QIcon DeferredIconStyle::standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const
{
    if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(icon, option, widget);
    // The direction is the one thing the base style reads from the widget
    // for these; it is taken now, as the widget may be gone by then.
    const Qt::LayoutDirection direction =
        option ? option->direction : (widget ? widget->layoutDirection() : QGuiApplication::layoutDirection());
    QPointer<QStyle> base = baseStyle();
    return QIcon(new DeferredIconEngine([base, icon, direction] {
        if (!base)
            return QIcon();
        QStyleOption made;
        made.direction = direction;
        return base->standardIcon(icon, &made, nullptr);
    }));
}
