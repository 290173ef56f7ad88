// The preview on a screen scaled 2x: the canvas shows the drawing at the
// screen's device pixels, not a copy of its own size doubled into a blur.

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
#include <QApplication>
#include <QStandardPaths>
#include <QTest>

class TestPreviewScaling : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void canvasDrawsAtDevicePixels();
};

void TestPreviewScaling::canvasDrawsAtDevicePixels()
{
    TestVolume volume;
    UserDefaults defaults(volume.scratch() + QStringLiteral("/defaults.ini"));
    defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    FakeClock clock;
    Authorization authorization{std::make_unique<DirectAuthorizationService>(), &alerts};
    LumoraLogin controller(
        LumoraContext{volume.volume(), volume.bundle(), &defaults, &alerts, &workspace, &clock, &authorization});
    MainWindow window(controller);
    window.show();
    controller.attachFrontEnd(window.messageView(), LumoraLogin::LaunchCheck::Skip);
    QCOMPARE(window.devicePixelRatioF(), 2.0);

    auto *toggle = window.findChild<QAction *>(QStringLiteral("previewAction"));
    if (!toggle->isChecked())
        toggle->trigger();
    auto *pane = window.findChild<PreviewPane *>(QStringLiteral("previewPane"));
    auto *canvas = window.findChild<QWidget *>(QStringLiteral("previewCanvas"));
    QVERIFY(QTest::qWaitFor([&] { return !pane->isPreparing() && !pane->picture().isNull(); }, 20000));
    QTest::qWait(50);
    canvas->repaint();

    const QImage &shown = pane->shownPicture();
    QCOMPARE(shown.devicePixelRatio(), 2.0);
    const QSize logical = pane->picture().size().scaled(canvas->size(), Qt::KeepAspectRatio);
    QCOMPARE(shown.size(), logical * 2);
}

int main(int argc, char **argv)
{
    // Before the application exists, as a desktop's setting would be.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestPreviewScaling test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_previewscaling.moc"
