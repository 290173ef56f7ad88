#include "cli/LoginCtl.h"

#include "cli/ConsolePanels.h"
#include "platform/VolumeImages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Keeps each setting on one line of the plain listing.
QString oneLine(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    escaped.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    escaped.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return escaped;
}

} // namespace

LoginCtl::LoginCtl(LumoraContext context, std::FILE *out, std::FILE *err)
    : m_controller(std::move(context)), m_out(out), m_err(err)
{
    // What the window does at launch, less the timed update check: a
    // scripted tool must not reach the network on its own.
    m_controller.attachFrontEnd(&m_view, LumoraLogin::LaunchCheck::Skip);
}

void LoginCtl::print(const QString &text) const
{
    writeText(m_out, text + QLatin1Char('\n'));
}

void LoginCtl::complain(const QString &text) const
{
    writeText(m_err, QStringLiteral("lumora-loginctl: ") + text + QLatin1Char('\n'));
}

QString LoginCtl::volumePath(const QString &hostPath) const
{
    const Volume &volume = m_controller.context().volume;
    if (volume.isRootFilesystem())
        return hostPath;
    const QString root = volume.root();
    if (hostPath.startsWith(root + QLatin1Char('/')))
        return hostPath.mid(root.size());
    return hostPath;
}

// Which of the two places of a logo or title image the window loaded.
QString LoginCtl::place(const Image &image, const QString &first, const QString &second) const
{
    const VolumeResolver files(m_controller.context().volume);
    const QString folder = QFileInfo(image.path()).path();
    if (image.path().isEmpty())
        return QStringLiteral("none");
    if (folder == QFileInfo(VolumeImages::readablePath(files, first)).path())
        return QStringLiteral("first");
    if (folder == QFileInfo(VolumeImages::readablePath(files, second)).path())
        return QStringLiteral("second");
    return QStringLiteral("none");
}

int LoginCtl::show(bool json)
{
    const LumoraLogin &c = m_controller;
    const LumoraContext &context = c.context();
    const auto release = LoginWindow::systemRelease(context.volume);
    const QString logoPlace = place(c.logo(), LoginWindow::kLogoFirstPlace, LoginWindow::kLogoSecondPlace);
    const QString titlePlace = place(c.title(), LoginWindow::kTitleFirstPlace, LoginWindow::kTitleSecondPlace);
    const QString hostInfoName = LumoraLogin::hostInfoValueForTag(c.hostInfoTag());

    if (json) {
        auto image = [this](const Image &image) {
            return QJsonObject{{QStringLiteral("path"), volumePath(image.path())},
                               {QStringLiteral("hostPath"), image.path()},
                               {QStringLiteral("valid"), image.isValid()}};
        };
        QJsonObject logo = image(c.logo());
        logo.insert(QStringLiteral("place"), logoPlace);
        QJsonObject title = image(c.title());
        title.insert(QStringLiteral("place"), titlePlace);
        const QJsonObject root{
            {QStringLiteral("volume"), context.volume.root()},
            {QStringLiteral("release"), release ? QJsonValue(*release) : QJsonValue()},
            {QStringLiteral("logo"), logo},
            {QStringLiteral("title"), title},
            {QStringLiteral("background"), image(c.background())},
            {QStringLiteral("message"), c.message() ? QJsonValue(*c.message()) : QJsonValue()},
            {QStringLiteral("hostInfo"),
             QJsonObject{{QStringLiteral("name"), hostInfoName}, {QStringLiteral("tag"), c.hostInfoTag()}}},
        };
        writeText(m_out, QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
        return kSuccess;
    }

    auto validity = [](const Image &image) {
        return image.isValid() ? QStringLiteral("valid") : QStringLiteral("not valid");
    };
    print(QStringLiteral("volume: ") + context.volume.root());
    print(QStringLiteral("release: ") + release.value_or(QStringLiteral("unknown")));
    print(QStringLiteral("logo: %1 (%2 place, %3)")
              .arg(volumePath(c.logo().path()), logoPlace, validity(c.logo())));
    print(QStringLiteral("title: %1 (%2 place, %3)")
              .arg(volumePath(c.title().path()), titlePlace, validity(c.title())));
    print(QStringLiteral("background: %1 (%2)").arg(volumePath(c.background().path()), validity(c.background())));
    print(QStringLiteral("message: ") + oneLine(c.message().value_or(QString())));
    print(QStringLiteral("host-info: %1 (tag %2)").arg(hostInfoName).arg(c.hostInfoTag()));
    return kSuccess;
}

int LoginCtl::set(const SetInputs &inputs, ApplyOptions options)
{
    Expected expected;
    // The same setters as the window's controls, each marking its own flag;
    // settings not asked for keep their flags clear and are not saved.
    if (inputs.logo) {
        m_controller.setLogo(*inputs.logo);
        expected.logo = inputs.logo;
    }
    if (inputs.title) {
        m_controller.setTitle(*inputs.title);
        expected.title = inputs.title;
    }
    if (inputs.background) {
        m_controller.setBackground(*inputs.background);
        expected.background = inputs.background;
    }
    if (inputs.message) {
        m_controller.setMessage(*inputs.message);
        expected.message = inputs.message;
    }
    if (inputs.hostInfoTag) {
        m_controller.setHostInfoTag(*inputs.hostInfoTag);
        expected.hostInfoTag = inputs.hostInfoTag;
    }
    return apply(expected, options);
}

int LoginCtl::restore(ApplyOptions options)
{
    m_controller.defaults();
    Expected expected;
    expected.logo = m_controller.logo();
    expected.title = m_controller.title();
    expected.revertBackground = true;
    expected.message = m_controller.message().value_or(QString());
    expected.hostInfoTag = m_controller.hostInfoTag();
    return apply(expected, options);
}

int LoginCtl::saveAndVerify(const Expected &expected, QHash<QString, QString> &results)
{
    const SaveReport report = m_controller.save();
    if (report.anotherSaveRunning) {
        complain(QStringLiteral("another copy of Lumora Login is saving (it holds %1); nothing was saved")
                     .arg(report.busyLock));
        return kFailed;
    }

    // After the save the controller holds what the volume holds (Save
    // reloads); each requested setting is compared with what was asked.
    const LumoraLogin &c = m_controller;
    const VolumeResolver files(c.context().volume);
    auto hostPath = [&files](const QString &volumePath) { return VolumeImages::readablePath(files, volumePath); };
    // Written to its place, or (after a restore) left where the volume has
    // its own image.
    auto imageReadsBack = [](const Image &loaded, const QString &hostPath, const Image &requested) {
        return (loaded.path() == hostPath || loaded.path() == requested.path()) && loaded.isValid()
               && loaded.size() == requested.size();
    };

    struct Outcome {
        QString name;
        bool requested;
        bool readsBack;
    };
    const QString defaultBackground =
        c.isTiger() ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground;
    const Outcome outcomes[] = {
        {QStringLiteral("logo"), bool(expected.logo),
         expected.logo && imageReadsBack(c.logo(), hostPath(LoginWindow::kLogoFirstPlace), *expected.logo)},
        {QStringLiteral("title"), bool(expected.title),
         expected.title
             && imageReadsBack(c.title(), hostPath(LoginWindow::kTitleFirstPlace), *expected.title)},
        {QStringLiteral("background"), expected.background || expected.revertBackground,
         expected.background
             ? imageReadsBack(c.background(), hostPath(LoginWindow::kInstalledBackground),
                              *expected.background)
             : (c.background().path() == hostPath(defaultBackground) && c.background().isValid())},
        {QStringLiteral("message"), bool(expected.message),
         expected.message && c.message().value_or(QString()) == *expected.message},
        {QStringLiteral("host information"), bool(expected.hostInfoTag),
         expected.hostInfoTag && c.hostInfoTag() == *expected.hostInfoTag},
    };

    int status = kSuccess;
    for (const Outcome &outcome : outcomes) {
        if (!outcome.requested)
            continue;
        if (report.failed.contains(outcome.name) || !report.attempted.contains(outcome.name)) {
            complain(QStringLiteral("%1: not saved").arg(outcome.name));
            results.insert(outcome.name, QStringLiteral("failed"));
            status = kFailed;
        } else if (!outcome.readsBack) {
            complain(QStringLiteral("%1: saved, but the volume does not read back as requested").arg(outcome.name));
            results.insert(outcome.name, QStringLiteral("failed"));
            status = kFailed;
        } else {
            results.insert(outcome.name, QStringLiteral("saved"));
        }
    }
    return status;
}

int LoginCtl::checkUpdates(const ConsoleAlertPanel &panels)
{
    m_controller.checkForUpdates();
    const QString failure = QCoreApplication::translate("Lumora", "Unable to check for updates");
    if (panels.titles().isEmpty()) {
        complain(QStringLiteral("the update check told nothing"));
        return kFailed;
    }
    return panels.titles().contains(failure) ? kFailed : kSuccess;
}
