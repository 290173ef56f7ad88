// Lumora Login: edits the look of a Mac OS X login window on the volume
// named by LUMORA_SYSTEM_ROOT.

#include "controller/LumoraLogin.h"
#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "platform/AuthorizationBackend.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Interruption.h"
#include "platform/Log.h"
#include "platform/widgets/QtAlertPanel.h"
#include "platform/widgets/QtPasswordDialog.h"
#include "platform/widgets/QtWorkspace.h"
#include "platform/UserDefaults.h"
#include "platform/Volume.h"
#include "privileged/Authorization.h"

#include <QApplication>
#include <QDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// English texts are the keys, so a missing translation just shows English.
void installTranslations(QApplication &app, const Bundle &bundle)
{
    auto *ours = new QTranslator(&app);
    if (ours->load(QLocale(), QStringLiteral("lumora"), QStringLiteral("_"),
                   bundle.resourceDir() + QStringLiteral("/translations")))
        QApplication::installTranslator(ours);
    auto *qt = new QTranslator(&app);
    if (qt->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qt);
}

// SIGTERM, SIGINT or SIGHUP: between saves the application quits at once
// (without asking about unsaved changes); during one, a dialog the save
// waits on gives up, the save stops after its current step, and the
// application quits when it has.
void watchForStopSignals(LumoraLogin &controller)
{
    if (Interruption::notifierFd() < 0)
        return;
    auto *notifier = new QSocketNotifier(Interruption::notifierFd(), QSocketNotifier::Read, &controller);
    auto saving = std::make_shared<bool>(false);
    auto leaveIfStopped = [saving] {
        if (!Interruption::requested())
            return;
        if (!*saving) {
            QApplication::exit(128 + Interruption::requested());
            return;
        }
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    };
    QObject::connect(notifier, &QSocketNotifier::activated, &controller, [leaveIfStopped] {
        Interruption::drain();
        leaveIfStopped();
    });
    QObject::connect(&controller, &LumoraLogin::saveStarted, &controller, [saving] { *saving = true; });
    QObject::connect(&controller, &LumoraLogin::saveFinished, &controller, [saving, leaveIfStopped] {
        *saving = false;
        QMetaObject::invokeMethod(qApp, leaveIfStopped, Qt::QueuedConnection);
    });
}

} // namespace

int main(int argc, char **argv)
{
    if (!haveDisplay()) {
        std::fprintf(stderr, "lumora-login: no display (DISPLAY and WAYLAND_DISPLAY are unset); "
                             "start it in a desktop session, or in a virtual one with: "
                             "xvfb-run -a %s\n",
                     argc > 0 ? argv[0] : "lumora-login");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lumora"));
    QApplication::setApplicationName(QStringLiteral("Lumora Login"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumora Login"));
    Log::setIdentity(QStringLiteral("Lumora Login"));
    Interruption::install();

    const Bundle bundle = Bundle::fromApplication();
    installTranslations(app, bundle);
    if (!bundle.version().isEmpty())
        QApplication::setApplicationVersion(bundle.version());

    UserDefaults defaults;
    QtAlertPanel alerts;
    QtWorkspace workspace;
    SystemClock clock;
    QtPasswordDialog passwordDialog;
    Authorization::install(std::make_unique<Authorization>(makeAuthorizationService(&passwordDialog), &alerts));

    const LumoraContext context{
        .volume = Volume::fromEnvironment(),
        .bundle = bundle,
        .defaults = &defaults,
        .alerts = &alerts,
        .workspace = &workspace,
        .clock = &clock,
        .authorization = &Authorization::sharedInstance(),
    };

    int status = 0;
    {
        LumoraLogin controller(context);
        MainWindow window(controller);
        alerts.setParent(&window);
        QObject::connect(&window, &MainWindow::quitConfirmed, &app, &QApplication::quit, Qt::QueuedConnection);
        watchForStopSignals(controller);
        window.show();
        controller.attachFrontEnd(window.messageView(), LumoraLogin::LaunchCheck::Start);
        status = QApplication::exec();
        alerts.setParent(nullptr);
    }
    // Gives up the administrator rights, then drops the runner while the
    // password dialog it may reach is still alive.
    Authorization::releaseShared();
    Authorization::install(nullptr);
    if (const int signal = Interruption::requested())
        Interruption::leaveBySignal(signal);
    return status;
}
