#include "cli/VolumesCommand.h"

#include "cli/ConsolePanels.h"
#include "cli/LoginCtl.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString accessKey(FoundVolume::Access access)
{
    switch (access) {
    case FoundVolume::Access::Writable:
        return QStringLiteral("writable");
    case FoundVolume::Access::NeedsAdministrator:
        return QStringLiteral("administrator");
    case FoundVolume::Access::ReadOnly:
        return QStringLiteral("read-only");
    }
    return {};
}

// The commands that never look at the volume's files.
bool touchesVolume(CtlRequest::Command command)
{
    switch (command) {
    case CtlRequest::Command::Help:
    case CtlRequest::Command::Version:
    case CtlRequest::Command::Volumes:
    case CtlRequest::Command::CheckUpdates:
        return false;
    default:
        return true;
    }
}

} // namespace

int listVolumes(const QList<FoundVolume> &volumes, bool json, std::FILE *out)
{
    if (json) {
        QJsonArray list;
        for (const FoundVolume &volume : volumes) {
            list.append(QJsonObject{
                {QStringLiteral("name"), volume.name},
                {QStringLiteral("release"), volume.release},
                {QStringLiteral("releaseText"), VolumeCheck::releaseText(volume.release)},
                {QStringLiteral("path"), volume.path},
                {QStringLiteral("access"), accessKey(volume.access)},
                {QStringLiteral("sample"), volume.sample},
            });
        }
        writeText(out, QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented)));
        return LoginCtl::kSuccess;
    }
    if (volumes.isEmpty()) {
        writeText(out, QCoreApplication::translate("LoginCtl", "No Mac OS X volume found. Mount one, then run this again.")
                           + QLatin1Char('\n'));
        return LoginCtl::kSuccess;
    }
    QString text;
    for (const FoundVolume &volume : volumes) {
        text += QStringLiteral("%1\n  release: %2\n  path: %3\n  access: %4\n")
                    .arg(volume.name, VolumeCheck::releaseText(volume.release), volume.path,
                         volume.accessText().toLower());
    }
    writeText(out, text);
    return LoginCtl::kSuccess;
}

std::optional<int> refuseUnlessVolume(CtlRequest::Command command, const Volume &volume, std::FILE *err)
{
    if (!touchesVolume(command))
        return std::nullopt;
    const VolumeCheck::Result result = VolumeCheck::check(volume.root());
    if (result.isVolume())
        return std::nullopt;
    writeText(err, QStringLiteral("lumora-loginctl: ")
                       + QCoreApplication::translate("LoginCtl", "%1 Nothing was read or written; "
                                                                 "`lumora-loginctl volumes` lists the volumes found.")
                             .arg(VolumeCheck::refusal(volume.root(), result))
                       + QLatin1Char('\n'));
    return LoginCtl::kUsage;
}

std::optional<int> refuseUnlessWritable(const Volume &volume, std::FILE *err)
{
    const QString reason = VolumeCheck::readOnlyReason(volume.root());
    if (reason.isEmpty())
        return std::nullopt;
    writeText(err, QStringLiteral("lumora-loginctl: ") + reason + QLatin1Char('\n'));
    return LoginCtl::kFailed;
}
