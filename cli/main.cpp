// lumora-loginctl: the login window's look from the command line, for
// scripts and for looking after many machines. A thin front end over the
// same controller, save operations, runner and update check as the window.

#include "cli/CommandLine.h"
#include "cli/ConsolePanels.h"
#include "cli/LoginCtl.h"
#include "cli/PreviewCommand.h"
#include "cli/VolumesCommand.h"
#include "platform/AuthorizationBackend.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/DiskImage.h"
#include "platform/Interruption.h"
#include "platform/Log.h"
#include "platform/TerminalPasswordPrompt.h"
#include "platform/Translations.h"
#include "platform/UserDefaults.h"
#include "platform/Volume.h"
#include "platform/VolumeFinder.h"
#include "privileged/Authorization.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <memory>

#include <unistd.h>

namespace {

// Opens --image FILE and waits for its volume, printing each step on a
// terminal. Nothing on failure, the reason already printed.
std::unique_ptr<DiskImage> openImage(const CtlRequest &request, const Bundle &bundle, bool writes, bool *choose)
{
    DiskImage::removeLeftovers();
    auto image = std::make_unique<DiskImage>(*request.image, bundle.helperPath(QStringLiteral("lumora-image")));
    if (::isatty(STDERR_FILENO)) {
        QObject::connect(image.get(), &DiskImage::progress, image.get(), [](const QString &text) {
            writeText(stderr, QStringLiteral("lumora-loginctl: %1\n").arg(text));
        });
    }
    image->open(request.partition, !writes);
    if (image->waitUntilMounted())
        return image;
    if (image->phase() == DiskImage::Phase::Choosing) {
        *choose = true;
        QString list;
        for (const ImageVolume &volume : image->volumes()) {
            if (volume.isSystem())
                list += QStringLiteral("  --partition %1   %2 (Mac OS X %3)\n").arg(volume.partition).arg(volume.name, volume.release);
        }
        writeText(stderr, QStringLiteral("lumora-loginctl: ")
                              + QCoreApplication::translate("LoginCtl", "the image holds several Mac OS X volumes; choose one:")
                              + QLatin1Char('\n') + list);
        return nullptr;
    }
    writeText(stderr, QStringLiteral("lumora-loginctl: %1: %2\n").arg(*request.image, image->errorText()));
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << argumentText(QByteArrayView(argv[i]));
    const CtlParse parsed = parseCommandLine(arguments);

    // Images are decoded and encoded through Qt's image plugins, which need
    // no display; a core application keeps the tool usable over ssh. Drawing
    // text for a preview needs a GUI application, which the offscreen
    // platform gives without a display.
    const bool drawing = parsed.request && parsed.request->command == CtlRequest::Command::Preview;
    if (drawing)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        drawing ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    Log::setIdentity(QStringLiteral("lumora-loginctl"));
    // A stop signal during a save ends its current tool, undoes or finishes
    // that step and releases the locks; then we leave by the signal.
    Interruption::install();

    const Bundle bundle = Bundle::fromApplication();
    Translations::install(*app, bundle.resourceDir() + QStringLiteral("/translations"));
    if (!parsed.request) {
        // Parsed again now that the catalogue is in: the complaint in the user's language.
        writeText(stderr, QStringLiteral("lumora-loginctl: %1\n\n").arg(parseCommandLine(arguments).error) + usageText());
        return LoginCtl::kUsage;
    }
    const CtlRequest &request = *parsed.request;
    using Command = CtlRequest::Command;

    if (request.command == Command::Help) {
        writeText(stdout, usageText());
        return LoginCtl::kSuccess;
    }
    if (request.command == Command::Version) {
        const QString version = bundle.version();
        writeText(stdout, QStringLiteral("lumora-loginctl %1\n")
                              .arg(version.isEmpty() ? QStringLiteral(LUMORA_VERSION) : version));
        return LoginCtl::kSuccess;
    }
    if (request.command == Command::Volumes)
        return listVolumes(VolumeFinder::find(VolumeFinder::systemPlaces(bundle.executableDir())), request.json);

    const bool writes =
        (request.command == Command::Set || request.command == Command::Restore) && !request.check;
    std::unique_ptr<DiskImage> image;
    if (request.image) {
        if (!QFileInfo::exists(*request.image)) {
            writeText(stderr, QStringLiteral("lumora-loginctl: ")
                                  + QCoreApplication::translate("LoginCtl", "no disk image at %1").arg(*request.image)
                                  + QLatin1Char('\n'));
            return LoginCtl::kUsage;
        }
        bool choose = false;
        image = openImage(request, bundle, writes, &choose);
        if (!image) {
            if (const int signal = Interruption::requested())
                Interruption::leaveBySignal(signal);
            // Several systems and no --partition: the command needs another word.
            return choose ? LoginCtl::kUsage : LoginCtl::kFailed;
        }
        if (writes && !image->isWritable()) {
            writeText(stderr, QStringLiteral("lumora-loginctl: %1: %2\n").arg(*request.image, image->readOnlyReason()));
            return LoginCtl::kFailed;
        }
    }
    // The option wins over the variable.
    const Volume volume = image ? image->volume()
                                : request.root ? Volume(*request.root) : Volume::fromEnvironment();
    if (!QFileInfo(volume.root()).isDir()) {
        writeText(stderr, QStringLiteral("lumora-loginctl: ")
                              + QCoreApplication::translate("LoginCtl", "no volume at %1 (%2)")
                                    .arg(volume.root(), request.root ? QStringLiteral("--root")
                                                                     : QStringLiteral("LUMORA_SYSTEM_ROOT"))
                              + QLatin1Char('\n'));
        return LoginCtl::kUsage;
    }
    if (const auto refused = refuseUnlessVolume(request.command, volume))
        return *refused;
    if (const auto refused = writes && !image ? refuseUnlessWritable(volume) : std::nullopt)
        return *refused;

    // Everything given on the command line is read and checked before the
    // controller exists, so a bad FILE cannot leave half a look behind.
    SetInputs inputs;
    if (request.command == Command::Set || request.command == Command::Preview) {
        const SetInputsCheck check = readSetInputs(request);
        if (!check.inputs) {
            writeText(stderr, QStringLiteral("lumora-loginctl: %1\n").arg(check.error));
            return LoginCtl::kUsage;
        }
        inputs = *check.inputs;
    }

    int status = LoginCtl::kSuccess;
    {
        UserDefaults defaults;
        ConsoleAlertPanel alerts;
        ConsoleWorkspace workspace;
        SystemClock clock;
        TerminalPasswordPrompt prompt;
        // Only the commands that write hold an authorization: freeing one
        // destroys the rights it obtained, which `show` has no business doing.
        std::unique_ptr<Authorization> authorization;
        // --check only reads, and so never asks for a password either. An
        // image is written as its owner, who needs no password for it.
        if (writes)
            authorization = std::make_unique<Authorization>(
                image ? std::make_unique<DirectAuthorizationService>() : makeAuthorizationService(&prompt), &alerts);

        LumoraContext context{volume, bundle, &defaults, &alerts, &workspace, &clock, authorization.get()};
        if (request.command == Command::Preview)
            return runPreview(std::move(context), inputs, *request.outputFile, request.screenSize);
        // On an image, what the save printed holds only once the image has
        // taken its blocks: it waits until then.
        char *held = nullptr;
        std::size_t heldSize = 0;
        std::FILE *out = image && writes ? ::open_memstream(&held, &heldSize) : stdout;
        LoginCtl ctl(std::move(context), out ? out : stdout);

        const LoginCtl::ApplyOptions apply{request.check, request.json};
        switch (request.command) {
        case Command::Show:
            status = ctl.show(request.json);
            break;
        case Command::Set:
            status = ctl.set(inputs, apply);
            break;
        case Command::Restore:
            status = request.lookId ? ctl.restoreLook(*request.lookId, apply) : ctl.restore(apply);
            break;
        case Command::History:
            status = ctl.history(request.json);
            break;
        case Command::CheckUpdates:
            status = ctl.checkUpdates(alerts);
            break;
        case Command::Help:
        case Command::Version:
        case Command::Volumes:
        case Command::Preview:
            break;
        }
        if (out && out != stdout) {
            std::fclose(out);
            QString error;
            if (!ctl.wroteVolume() || image->save(false, &error)) {
                std::fwrite(held, 1, heldSize, stdout);
            } else {
                writeText(stderr, QStringLiteral("lumora-loginctl: ")
                                      + QCoreApplication::translate("LoginCtl", "nothing was saved into the disk image %1: %2")
                                            .arg(*request.image, error)
                                      + QLatin1Char('\n'));
                status = LoginCtl::kFailed;
            }
            std::free(held);
        }
    }
    if (image)
        image->close();
    if (const int signal = Interruption::requested())
        Interruption::leaveBySignal(signal);
    return status;
}
