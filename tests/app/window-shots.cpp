// Screenshots of the window for the notes, taken under Xvfb with a window
// manager: lumora-window-shots OUTPUT_FOLDER. Not a test; it drives the
// real window, dialogs and panels on a throwaway volume.

#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "controller/LumoraLogin.h"
#include "platform/Clock.h"
#include "platform/PropertyList.h"
#include "platform/SudoAuthorizationService.h"
#include "platform/UserDefaults.h"
#include "platform/widgets/QtAlertPanel.h"
#include "platform/widgets/QtPasswordDialog.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeSudo.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/TestVolume.h"
#include "tests/fakes/VersionListServer.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QWidget *waitForModal(const char *name, int tries = 200)
{
    for (int i = 0; i < tries; ++i) {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->objectName() == QLatin1String(name))
                return w;
        }
        if (tries > 1)
            wait(25);
    }
    return nullptr;
}

void shoot(const QString &folder, const QString &name)
{
    wait(400);
    const QString path = folder + QStringLiteral("/13-") + name + QStringLiteral(".png");
    const bool ok = QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    std::fflush(stdout);
}

void answer(QWidget *dialog, const QString &password)
{
    dialog->findChild<QLineEdit *>(QStringLiteral("passwordField"))->setText(password);
    dialog->findChild<QPushButton *>(QStringLiteral("passwordOk"))->click();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora Login"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumora Login"));
    QStandardPaths::setTestModeEnabled(true);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumora-window-shots OUTPUT_FOLDER\n");
        return 64;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);

    VersionListServer server;
    VersionListServer::Response hang;
    hang.hang = true;
    server.setResponse(QStringLiteral("/versions.txt"), hang);
    TestVolume volume;
    QFile info(volume.resources() + QStringLiteral("/Info.plist"));
    if (info.open(QIODevice::WriteOnly | QIODevice::Truncate))
        info.write(PropertyList::serialize(
            QVariantMap{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("org.lumora.LumoraLogin")},
                        {QStringLiteral("CFBundleVersion"), QStringLiteral("1.0.0")},
                        {QStringLiteral("LumoraVersionListURL"), server.url(QStringLiteral("/versions.txt"))}},
            PropertyList::Format::Xml));
    info.close();

    UserDefaults defaults(volume.scratch() + QStringLiteral("/defaults.ini"));
    defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
    QtAlertPanel alerts;
    FakeWorkspace workspace;
    SystemClock clock;
    QtPasswordDialog dialog;
    FakeSudo sudo("right");
    Authorization authorization(std::make_unique<SudoAuthorizationService>(&dialog, sudo.path()), &alerts);
    LumoraLogin controller(
        LumoraContext{volume.volume(), volume.bundle(), &defaults, &alerts, &workspace, &clock, &authorization});
    MainWindow window(controller);
    alerts.setParent(&window);
    window.move(40, 30);
    window.show();
    controller.attachFrontEnd(window.messageView(), LumoraLogin::LaunchCheck::Skip);
    wait(500);

    // An unsaved edit: the title bar carries the mark.
    QImage logo(220, 120, QImage::Format_RGB32);
    logo.fill(QColor(40, 110, 190));
    controller.setMessage(QStringLiteral("Authorised use only. Edited, not yet saved."));
    controller.setLogo(Image::fromPixels(logo));
    shoot(out, QStringLiteral("modified-title"));

    // A wrong password: the dialog asks again and says why. The dialogs
    // run their own loops, so they are answered from a timer.
    int asked = 0;
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [&] {
        QWidget *dialog = waitForModal("passwordDialog", 1);
        if (!dialog || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        if (++asked == 1) {
            answer(dialog, QStringLiteral("wrong"));
        } else {
            shoot(out, QStringLiteral("retry-dialog"));
            answer(dialog, QStringLiteral("right"));
        }
    });
    answering.start(100);
    window.save();
    for (int i = 0; i < 300 && (window.isSaving() || asked < 2); ++i)
        wait(50);
    answering.stop();
    std::printf("after the first save: %s; message %s\n", qPrintable(window.statusText()),
                qPrintable(controller.message().value_or(QStringLiteral("(none)"))));

    // A step that fails: a folder now stands where the logo goes, so the file
    // tool refuses it; the line stays, and Details… shows what the tool said.
    const QString logoPlace = volume.hostPath(LoginWindow::kLogoFirstPlace);
    QFile::remove(logoPlace);
    QDir().mkdir(logoPlace);
    logo.fill(QColor(190, 60, 40));
    controller.setLogo(Image::fromPixels(logo));
    window.save();
    for (int i = 0; i < 200 && window.isSaving(); ++i)
        wait(50);
    std::printf("after the second save: %s; message %s; view %s\n", qPrintable(window.statusText()),
                qPrintable(controller.message().value_or(QStringLiteral("(none)"))),
                qPrintable(window.messageView()->string()));
    std::fflush(stdout);
    if (auto *details = window.findChild<QPushButton *>(QStringLiteral("saveDetailsButton")))
        details->click();
    if (auto *panel = window.findChild<QDialog *>(QStringLiteral("saveDetails")))
        panel->move(330, 150);
    shoot(out, QStringLiteral("failure-details"));
    if (auto *panel = window.findChild<QDialog *>(QStringLiteral("saveDetails")))
        panel->close();

    // The user's update check against a server that never answers: the
    // panel offers Cancel, and the window keeps working behind it.
    window.checkForUpdates();
    if (auto *panel = window.findChild<QDialog *>(QStringLiteral("updateCheckPanel")))
        panel->move(300, 260);
    wait(800);
    controller.setMessage(QStringLiteral("Typed while the update check waits for the server."));
    shoot(out, QStringLiteral("update-check-panel"));
    if (auto *cancel = window.findChild<QPushButton *>(QStringLiteral("updateCheckCancel")))
        cancel->click();
    wait(300);
    controller.setDirty(false);
    return 0;
}
