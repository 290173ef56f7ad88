// The window on screens of several sizes, offscreen with screens of our
// own: its frame lies inside the screen it opens on, Save stays in view,
// and the preview goes beside the settings only where both fit.

#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "controller/LumoraLogin.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/TestVolume.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Side by side: a small screen, a 1440×900 one at twice the scale (a
// logical 720×450), and a wide one. Frames are drawn around the windows.
const char kScreens[] = R"({
    "windowFrameMargins": true,
    "screens": [
        {"name": "small", "x": 0, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96},
        {"name": "scaled", "x": 1024, "y": 0, "width": 1440, "height": 900, "logicalDpi": 192, "logicalBaseDpi": 96},
        {"name": "wide", "x": 2464, "y": 0, "width": 2560, "height": 1440, "logicalDpi": 96, "logicalBaseDpi": 96}
    ]
})";

QScreen *screenNamed(const QString &name)
{
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen->name() == name)
            return screen;
    }
    return nullptr;
}

struct Fixture {
    TestVolume volume;
    UserDefaults defaults;
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    FakeClock clock;
    Authorization authorization{std::make_unique<DirectAuthorizationService>(), &alerts};
    std::unique_ptr<LumoraLogin> controller;
    std::unique_ptr<MainWindow> window;

    explicit Fixture(QScreen *screen, const std::function<void(MainWindow &)> &beforeShow = {})
        : defaults(volume.scratch() + QStringLiteral("/defaults.ini"))
    {
        defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
        controller = std::make_unique<LumoraLogin>(LumoraContext{volume.volume(), volume.bundle(), &defaults,
                                                                 &alerts, &workspace, &clock, &authorization});
        window = std::make_unique<MainWindow>(*controller);
        if (beforeShow)
            beforeShow(*window);
        window->setScreen(screen);
        window->move(screen->availableGeometry().topLeft());
        window->show();
        controller->attachFrontEnd(window->messageView(), LumoraLogin::LaunchCheck::Skip);
    }
    template <typename T> T *find(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
};

// The sizes a widget is given, in order.
class ResizeLog : public QObject {
public:
    QList<QSize> sizes;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            sizes.append(static_cast<QResizeEvent *>(event)->size());
        return QObject::eventFilter(watched, event);
    }
};

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3×%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestWindowFit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void fitsTheScreen_data();
    void fitsTheScreen();
};

void TestWindowFit::fitsTheScreen_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QSize>("logical"); // the screen as the window sees it
    QTest::addColumn<bool>("docked");   // the preview beside the settings at the start
    QTest::newRow("1024×768") << "small" << QSize(1024, 768) << false;
    QTest::newRow("1440×900 at 2×") << "scaled" << QSize(720, 450) << false;
    QTest::newRow("2560×1440") << "wide" << QSize(2560, 1440) << true;
}

void TestWindowFit::fitsTheScreen()
{
    QFETCH(QString, screen);
    QFETCH(QSize, logical);
    QFETCH(bool, docked);
    QScreen *target = screenNamed(screen);
    QVERIFY2(target, "the offscreen platform did not take the screens");
    QCOMPARE(target->availableGeometry().size(), logical);

    // The settings are laid out once, at the size the window opens with,
    // not first at the size it has before it is fitted to the screen.
    ResizeLog settingsSizes;
    Fixture f(target, [&](MainWindow &window) {
        window.findChild<QScrollArea *>(QStringLiteral("settingsScroll"))->installEventFilter(&settingsSizes);
    });
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.find<QScrollArea>("settingsScroll")->removeEventFilter(&settingsSizes);
    QCOMPARE(settingsSizes.sizes, QList<QSize>{f.find<QScrollArea>("settingsScroll")->size()});
    QTest::qWait(300); // the check after the frame is known
    const QRect available = target->availableGeometry();
    QVERIFY2(f.window->screen() == target, qPrintable(f.window->screen()->name() + QLatin1Char(' ') + describe(f.window->frameGeometry())));
    QVERIFY2(available.contains(f.window->frameGeometry()),
             qPrintable(describe(f.window->frameGeometry()) + QStringLiteral(" outside ") + describe(available)));
    QVERIFY(f.window->frameGeometry() != f.window->geometry()); // a frame was reckoned with

    // Save and Restore in view, inside the screen.
    for (const char *name : {"saveButton", "restoreButton"}) {
        const auto *button = f.find<QPushButton>(name);
        const QRect onScreen(button->mapToGlobal(QPoint()), button->size());
        QVERIFY2(button->isVisible() && available.contains(onScreen), name);
        QCOMPARE(button->visibleRegion().boundingRect(), button->rect());
    }
    // What does not fit scrolls.
    auto *scroll = f.find<QScrollArea>("settingsScroll");
    QCOMPARE(scroll->verticalScrollBar()->maximum() > 0, logical.height() < 680);

    auto *dock = f.find<QDockWidget>("previewDock");
    QCOMPARE(dock->isVisible(), docked);
    QCOMPARE(f.window->statusText().contains(QStringLiteral("The preview is hidden")), !docked);
    if (docked)
        return;

    // Asked for, it opens in a window of its own, on the same screen.
    f.find<QAction>("previewAction")->trigger();
    QVERIFY(QTest::qWaitFor([&] { return dock->isVisible(); }));
    QTest::qWait(100);
    QVERIFY(dock->isFloating());
    QVERIFY2(available.contains(dock->frameGeometry()), qPrintable(describe(dock->frameGeometry())));
    QVERIFY2(available.contains(f.window->frameGeometry()), qPrintable(describe(f.window->frameGeometry())));
    QVERIFY(f.window->statusText().contains(QStringLiteral("window of its own")));
}

int main(int argc, char **argv)
{
    // Before the application exists: the platform reads its screens once.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(kScreens) != qint64(sizeof kScreens - 1)) {
        std::fprintf(stderr, "cannot write the screens' configuration\n");
        return 1;
    }
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    QApplication app(argc, argv);
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowfit.moc"
