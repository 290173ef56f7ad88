// The preview pane in the window: one click away, redrawn on every edit
// without waiting for the pictures, at the screen size chosen. With
// LUMORA_SHOTS_DIR set (and a real display) it also saves screenshots of
// the window for the stock and a changed look.

#include "app/MainWindow.h"
#include "app/PreviewPane.h"
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
#include <QComboBox>
#include <QDockWidget>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

namespace {

struct Fixture {
    TestVolume volume;
    UserDefaults defaults;
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    FakeClock clock;
    Authorization authorization{std::make_unique<DirectAuthorizationService>(), &alerts};
    std::unique_ptr<LumoraLogin> controller;
    std::unique_ptr<MainWindow> window;

    static SampleVolume::Options options()
    {
        SampleVolume::Options options;
        options.computerName = QStringLiteral("Lumora Sample Mac");
        return options;
    }

    Fixture() : volume(options()), defaults(volume.scratch() + QStringLiteral("/defaults.ini"))
    {
        defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
        controller = std::make_unique<LumoraLogin>(LumoraContext{volume.volume(), volume.bundle(), &defaults,
                                                                 &alerts, &workspace, &clock, &authorization});
        window = std::make_unique<MainWindow>(*controller);
        window->show();
        controller->attachFrontEnd(window->messageView(), LumoraLogin::LaunchCheck::Skip);
    }

    [[nodiscard]] PreviewPane *pane() const { return window->findChild<PreviewPane *>("previewPane"); }
    [[nodiscard]] QDockWidget *dock() const { return window->findChild<QDockWidget *>("previewDock"); }
    [[nodiscard]] QAction *toggle() const { return window->findChild<QAction *>("previewAction"); }

    // Until the pictures are prepared and drawn.
    [[nodiscard]] bool settled() const
    {
        const bool ready =
            QTest::qWaitFor([this] { return !pane()->isPreparing() && !pane()->picture().isNull(); }, 20000);
        QTest::qWait(50); // the drawing that follows the last picture
        return ready;
    }
};

QImage disc(int side, QColor colour)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(side * 0.15, side * 0.15, side * 0.7, side * 0.7));
    return image;
}

QImage evening(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(40, 20, 70));
    sky.setColorAt(0.6, QColor(200, 90, 60));
    sky.setColorAt(1, QColor(250, 190, 90));
    p.fillRect(image.rect(), sky);
    p.setBrush(QColor(30, 25, 40));
    p.setPen(Qt::NoPen);
    p.drawRect(QRect(0, size.height() * 4 / 5, size.width(), size.height() / 5));
    return image;
}

// The rows of the panel's message, compared between two drawings.
int differingRows(const QImage &a, const QImage &b)
{
    int rows = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(std::min(a.bytesPerLine(), b.bytesPerLine()))))
            ++rows;
    }
    return rows;
}

} // namespace

class TestPreviewPane : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void oneClickAway()
    {
        Fixture f;
        QVERIFY(f.pane() && f.dock() && f.toggle());
        const QRect available = f.window->screen()->availableGeometry();
        // Shown at the start only where the screen has room beside the settings.
        QCOMPARE(f.dock()->isVisibleTo(f.window.get()), available.width() >= 920 + 520);
        const bool shown = f.dock()->isVisibleTo(f.window.get());
        f.toggle()->trigger();
        QCOMPARE(f.dock()->isVisibleTo(f.window.get()), !shown);
        f.toggle()->trigger();
        QCOMPARE(f.dock()->isVisibleTo(f.window.get()), shown);
    }

    void redrawnOnEveryEdit()
    {
        Fixture f;
        QVERIFY(f.settled());
        const QImage before = f.pane()->picture();
        QSignalSpy redrawn(f.pane(), &PreviewPane::redrawn);

        // Typing: each key is drawn, and nothing waits on a worker for it.
        auto *view = f.window->findChild<QtMessageView *>("messageView");
        view->setFocus();
        QTest::keyClicks(view, QStringLiteral("Staff only"));
        QVERIFY(QTest::qWaitFor([&] { return f.pane()->picture() != before; }, 2000));
        QVERIFY(!f.pane()->isPreparing());
        QVERIFY(redrawn.size() >= 1);
        // The message grew from one line to... one line: the panel keeps its
        // size, only the message rows change.
        QVERIFY(differingRows(before, f.pane()->picture()) < 40);

        // Many lines: the hint tells how many do not fit.
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(view, Qt::Key_Return);
            QTest::keyClicks(view, QStringLiteral("x"));
        }
        QVERIFY(QTest::qWaitFor([&] { return f.pane()->hints().join(' ').contains("message needs 9 lines"); }, 2000));
    }

    void aWindowBeingShownIsPaintedBeforeTheDrawing()
    {
        Fixture f;
        QVERIFY(f.settled());
        // Hidden, the pane draws as before: tests and hidden docks rely on it.
        f.window->hide();
        QSignalSpy redrawn(f.pane(), &PreviewPane::redrawn);
        f.controller->setMessage(QStringLiteral("while hidden"));
        QVERIFY(redrawn.wait(2000));

        // Shown but not yet on the screen: the edit waits for the window to
        // be exposed, then is drawn once.
        f.window->show();
        QWindow *shownIn = f.window->windowHandle();
        QVERIFY(shownIn);
        if (shownIn->isExposed())
            QSKIP("this platform exposes a window as it is shown");
        redrawn.clear();
        f.controller->setMessage(QStringLiteral("while mapping"));
        QCoreApplication::processEvents();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QTRY_COMPARE(redrawn.size(), 1);
    }

    void newPicturesAndScreenSizes()
    {
        Fixture f;
        QVERIFY(f.settled());
        f.controller->setLogo(Image::fromPixels(disc(900, QColor(30, 150, 70))));
        QVERIFY(f.settled());
        QVERIFY(QTest::qWaitFor([&] { return f.pane()->hints().join(' ').contains(QStringLiteral("logo 900\u00d7900")); }, 5000));

        auto *chooser = f.window->findChild<QComboBox *>("previewSizeChooser");
        QCOMPARE(chooser->count(), 4);
        chooser->setCurrentIndex(3);
        emit chooser->activated(3);
        QVERIFY(QTest::qWaitFor([&] { return f.pane()->picture().size() == QSize(1920, 1200); }, 5000));
        QVERIFY(f.settled());
        QCOMPARE(f.pane()->picture().size(), QSize(1920, 1200));
        // The logo now has its full box on the taller screen.
        QVERIFY(f.pane()->hints().join(' ').contains(QStringLiteral("drawn at 280\u00d7280")));
    }

    void screenshots()
    {
        const QString folder = qEnvironmentVariable("LUMORA_SHOTS_DIR");
        if (folder.isEmpty() || QGuiApplication::platformName() == QLatin1String("offscreen"))
            QSKIP("screenshots only with LUMORA_SHOTS_DIR on a display");
        Fixture f;
        f.dock()->show();
        f.window->resize(1500, 760);
        QVERIFY(f.settled());
        QTest::qWait(300);
        auto shoot = [&](const QString &name) {
            const QPixmap shot = f.window->screen()->grabWindow(f.window->winId());
            return shot.save(folder + QLatin1Char('/') + name);
        };
        QVERIFY(shoot(QStringLiteral("14-window-stock.png")));

        f.controller->setBackground(Image::fromPixels(evening({2400, 1600})));
        f.controller->setLogo(Image::fromPixels(disc(160, QColor(240, 200, 60))));
        f.controller->setMessage(QStringLiteral("Property of the Physics Department.\nAuthorised use only.\n"
                                                "Help: room 2.14, extension 4410"));
        f.controller->setHostInfoTag(5);
        QVERIFY(f.settled());
        QTest::qWait(300);
        QVERIFY(shoot(QStringLiteral("14-window-changed.png")));
        QVERIFY(evening({2400, 1600}).save(folder + QStringLiteral("/14-input-background.jpg"), "JPEG", 95));
        QVERIFY(disc(160, QColor(240, 200, 60)).save(folder + QStringLiteral("/14-input-logo.png")));
    }
};

QTEST_MAIN(TestPreviewPane)
#include "tst_previewpane.moc"
