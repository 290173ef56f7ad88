#include "platform/widgets/DeferredIconStyle.h"
#include "platform/widgets/StartupWarmup.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

// Fusion, counting how often it is asked for the menu bar's overflow icon.
class CountingStyle final : public QProxyStyle
{
public:
    CountingStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const override
    {
        if (icon == SP_ToolBarHorizontalExtensionButton)
            ++extensionIcons;
        return QProxyStyle::standardIcon(icon, option, widget);
    }
    mutable int extensionIcons = 0;
};

QImage pixels(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

// Runs `step` and says whether it came back within ten seconds, so that a
// step that waits forever fails the test rather than hanging it (its
// thread is left behind).
template <typename Step>
bool returnsPromptly(Step step)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([step, done] {
        step();
        done->set_value();
    }).detach();
    return finished.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void overflowIconIsReadWhenFirstDrawn();
    void warmupEndsInEveryOrder();
};

void TestStartup::overflowIconIsReadWhenFirstDrawn()
{
    auto *base = new CountingStyle;
    const DeferredIconStyle style(base);
    const QIcon icon = style.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    QCOMPARE(base->extensionIcons, 0);
    QVERIFY(!icon.isNull());

    // The same pixels as the style gives directly, read once for every
    // copy of the icon.
    const QIcon copy = icon;
    const QImage drawn = pixels(copy);
    QCOMPARE(base->extensionIcons, 1);
    (void)pixels(icon);
    QCOMPARE(base->extensionIcons, 1);
    QVERIFY(!drawn.isNull());
    QCOMPARE(drawn, pixels(base->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, nullptr, nullptr)));

    // A right-to-left widget gets the right-to-left arrow, even when read
    // after the widget has gone.
    QIcon rightToLeft;
    {
        QWidget widget;
        widget.setLayoutDirection(Qt::RightToLeft);
        rightToLeft = style.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, nullptr, &widget);
    }
    QStyleOption option;
    option.direction = Qt::RightToLeft;
    const QImage expected = pixels(base->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, &option, nullptr));
    QCOMPARE(pixels(rightToLeft), expected);
    QVERIFY(expected != drawn);

    // Every other icon is the style's own, made at once.
    QCOMPARE(pixels(style.standardIcon(QStyle::SP_DialogOkButton)),
             pixels(base->standardIcon(QStyle::SP_DialogOkButton, nullptr, nullptr)));
}

void TestStartup::warmupEndsInEveryOrder()
{
    // Never told the application started: the font step, waiting for it
    // by then, gives up.
    QVERIFY(returnsPromptly([] {
        StartupWarmup warmup;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        warmup.finish();
    }));
    QVERIFY(returnsPromptly([] { StartupWarmup warmup; }));
    // The whole start; a second shown window, and finishing twice, start
    // nothing more.
    QVERIFY(returnsPromptly([] {
        StartupWarmup warmup;
        warmup.applicationStarted();
        warmup.windowShown();
        warmup.windowShown();
        warmup.finish();
        warmup.finish();
    }));
    // Nothing begins once finished, nor before the application started.
    QVERIFY(returnsPromptly([] {
        StartupWarmup warmup;
        warmup.windowShown();
        warmup.finish();
        warmup.applicationStarted();
        warmup.windowShown();
    }));
    QVERIFY(!QFontDatabase::families().isEmpty());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
