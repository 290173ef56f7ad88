// Lumora Login: edits the look of a Mac OS X login window on the volume
// named by --root DIR or LUMORA_SYSTEM_ROOT, else on the last volume used,
// else on the one chosen from those mounted.

#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "app/VolumeSession.h"
#include "controller/LumoraLogin.h"
#include "platform/AuthorizationBackend.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Interruption.h"
#include "platform/Log.h"
#include "platform/Translations.h"
#include "platform/UserDefaults.h"
#include "platform/Volume.h"
#include "platform/VolumeFinder.h"
#include "platform/widgets/DeferredIconStyle.h"
#include "platform/widgets/QtAlertPanel.h"
#include "platform/widgets/QtPasswordDialog.h"
#include "platform/widgets/QtWorkspace.h"
#include "platform/widgets/StartupWarmup.h"
#include "privileged/Authorization.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStyleFactory>

#include <cstdio>
#include <memory>

namespace {

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// SIGTERM, SIGINT or SIGHUP: between saves the application quits at once
// (without asking about unsaved changes); during one, a dialog the save
// waits on gives up, the save stops after its current step, and the
// application quits when it has.
void watchForStopSignals(VolumeSession &session)
{
    if (Interruption::notifierFd() < 0)
        return;
    auto *notifier = new QSocketNotifier(Interruption::notifierFd(), QSocketNotifier::Read, &session);
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
    QObject::connect(notifier, &QSocketNotifier::activated, &session, [leaveIfStopped] {
        Interruption::drain();
        leaveIfStopped();
    });
    // Each volume opened gets a controller of its own.
    QObject::connect(&session, &VolumeSession::windowChanged, &session, [&session, saving, leaveIfStopped] {
        LumoraLogin *controller = session.controller();
        if (!controller)
            return;
        QObject::connect(controller, &LumoraLogin::saveStarted, controller, [saving] { *saving = true; });
        QObject::connect(controller, &LumoraLogin::saveFinished, controller, [saving, leaveIfStopped] {
            *saving = false;
            QMetaObject::invokeMethod(qApp, leaveIfStopped, Qt::QueuedConnection);
        });
    });
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const StartOptions options = parseStartOptions(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "lumora-login: %s\nUsage: lumora-login [--root DIR | --image FILE]\n",
                     qPrintable(options.error));
        return 2;
    }
    // The option wins over the variable; an empty variable names nothing.
    std::optional<QString> root = options.root;
    if (!root && !qEnvironmentVariableIsEmpty("LUMORA_SYSTEM_ROOT"))
        root = qEnvironmentVariable("LUMORA_SYSTEM_ROOT");
    if (options.image && !QFileInfo::exists(*options.image)) {
        std::fprintf(stderr, "lumora-login: no disk image at %s (--image)\n", qPrintable(*options.image));
        return 2;
    }
    if (options.image)
        root.reset();
    if (root && !QFileInfo(*root).isDir()) {
        std::fprintf(stderr, "lumora-login: no folder at %s (%s)\n", qPrintable(*root),
                     options.root ? "--root" : "LUMORA_SYSTEM_ROOT");
        return 2;
    }

    if (!haveDisplay()) {
        std::fprintf(stderr, "lumora-login: no display (DISPLAY and WAYLAND_DISPLAY are unset); "
                             "start it in a desktop session, or in a virtual one with: "
                             "xvfb-run -a %s\n",
                     argc > 0 ? argv[0] : "lumora-login");
        return 1;
    }

    // Fonts, the session bus and the image format plugins are made ready on
    // threads of their own while the window is built.
    StartupWarmup warmup;
    QApplication app(argc, argv);
    warmup.applicationStarted();
    // The style the application would have had (a -style option, a
    // QT_STYLE_OVERRIDE, else the desktop's).
    QApplication::setStyle(new DeferredIconStyle(QStyleFactory::create(QApplication::style()->name())));
    QApplication::setOrganizationName(QStringLiteral("Lumora"));
    QApplication::setApplicationName(QStringLiteral("Lumora Login"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumora Login"));
    Log::setIdentity(QStringLiteral("Lumora Login"));
    Interruption::install();

    const Bundle bundle = Bundle::fromApplication();
    Translations::install(app, bundle.resourceDir() + QStringLiteral("/translations"));
    if (!bundle.version().isEmpty())
        QApplication::setApplicationVersion(bundle.version());

    UserDefaults defaults;
    QtAlertPanel alerts;
    QtWorkspace workspace;
    SystemClock clock;
    QtPasswordDialog passwordDialog;
    Authorization::install(std::make_unique<Authorization>(makeAuthorizationService(&passwordDialog), &alerts));

    const LumoraContext context{
        .volume = Volume(),
        .bundle = bundle,
        .defaults = &defaults,
        .alerts = &alerts,
        .workspace = &workspace,
        .clock = &clock,
        .authorization = &Authorization::sharedInstance(),
    };

    int status = 0;
    {
        const QString executableDir = bundle.executableDir();
        VolumeSession session(context, [executableDir] {
            return VolumeFinder::find(VolumeFinder::systemPlaces(executableDir));
        });
        // The session decides when closing a window ends the application.
        QApplication::setQuitOnLastWindowClosed(false);
        QObject::connect(&session, &VolumeSession::windowChanged, &app,
                         [&alerts](MainWindow *window) { alerts.setParent(window); });
        QObject::connect(&session, &VolumeSession::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
        watchForStopSignals(session);
        session.start(root, options.image);
        // The volume's pictures are read once the window has been painted.
        warmup.windowShown();
        status = QApplication::exec();
        alerts.setParent(nullptr);
    }
    warmup.finish();
    // Gives up the administrator rights, then drops the runner while the
    // password dialog it may reach is still alive.
    Authorization::releaseShared();
    Authorization::install(nullptr);
    if (const int signal = Interruption::requested())
        Interruption::leaveBySignal(signal);
    return status;
}
