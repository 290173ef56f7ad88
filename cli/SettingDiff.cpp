// set and restore beyond the document: only what differs from the volume is
// saved, --check only compares, and --json reports both in one object.

#include "cli/ConsolePanels.h"
#include "cli/LoginCtl.h"
#include "controller/LookComparison.h"
#include "controller/SettingModel.h"
#include "save/SaveComparison.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <optional>

namespace {

const QString kHolds = QStringLiteral("unchanged");
const QString kDiffers = QStringLiteral("would change");
const QString kNotSaved = QStringLiteral("failed");

QJsonValue orNull(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

int LoginCtl::apply(Expected expected, ApplyOptions options)
{
    // Compared with stock values the volume may not hold, nothing would be true.
    if (refuseUnreadable(m_controller.unreadableReason()))
        return LoginCtl::kFailed;
    // Only the JSON report shows what the pictures' bytes were and become.
    std::optional<SaveComparison::WithoutDigests> withoutDigests;
    if (!options.json)
        withoutDigests.emplace();
    QList<MarkedSetting> settings = compareMarkedSettings(m_controller);
    const bool anyDiffers = std::any_of(settings.cbegin(), settings.cend(),
                                        [](const MarkedSetting &setting) { return !setting.comparison.holds; });

    QHash<QString, QString> outcomes;
    int status = LoginCtl::kSuccess;
    if (options.check) {
        for (const MarkedSetting &setting : settings)
            outcomes.insert(setting.name, setting.comparison.holds ? kHolds : kDiffers);
    } else if (!anyDiffers) {
        // Nothing to write: no lock, no staging folder, no tool run. A save
        // running meanwhile changes nothing asked for: whatever it writes
        // last, this request holds at the moment it was compared.
        for (const MarkedSetting &setting : settings)
            outcomes.insert(setting.name, kHolds);
    } else {
        m_wroteVolume = true;
        QString refusal;
        // Compared again once the volume is ours: another save may have
        // written since, and what holds now still holds when this one ends.
        // What holds is neither written nor read back.
        const LumoraLogin::LockedDecision decide = [&] {
            refusal = unreadableReason(m_controller.context().volume);
            if (!refusal.isEmpty())
                return false;
            settings = compareMarkedSettings(m_controller);
            for (const MarkedSetting &setting : settings) {
                if (!setting.comparison.holds)
                    continue;
                outcomes.insert(setting.name, kHolds);
                expected.values[indexOf(setting.setting)].reset();
            }
            (void)unmarkSettingsThatHold(m_controller, settings);
            return true;
        };
        status = saveAndVerify(expected, outcomes, decide);
        if (refuseUnreadable(refusal))
            status = LoginCtl::kFailed;
        for (const MarkedSetting &setting : settings) {
            if (!outcomes.contains(setting.name))
                outcomes.insert(setting.name, kNotSaved);
        }
    }

    if (!options.json) {
        // A failure is named on standard error only.
        for (const MarkedSetting &setting : settings) {
            const QString outcome = outcomes.value(setting.name);
            if (outcome != kNotSaved)
                print(QStringLiteral("%1: %2").arg(setting.name, outcome));
        }
        return status;
    }

    // A failed setting counts as changed: part of it may have been written.
    bool changed = false;
    QJsonObject reported;
    QJsonObject before;
    QJsonObject after;
    for (const MarkedSetting &setting : settings) {
        // The keys of the JSON object are those of `show --json`.
        const QString key = settingModel(setting.setting).key();
        const QString outcome = outcomes.value(setting.name);
        changed = changed || outcome != kHolds;
        reported.insert(key, outcome);
        before.insert(key, orNull(setting.comparison.before));
        after.insert(key, orNull(setting.comparison.after));
    }
    const QJsonObject root{
        {QStringLiteral("changed"), changed},
        {QStringLiteral("settings"), reported},
        {QStringLiteral("diff"), QJsonObject{{QStringLiteral("before"), before}, {QStringLiteral("after"), after}}},
    };
    writeText(m_out, QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
    return status;
}
