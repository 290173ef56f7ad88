#pragma once

#include "controller/Setting.h"
#include "save/SaveComparison.h"

#include <QList>
#include <QString>

class LumoraLogin;

// One setting the document marks to be saved, compared with the volume.
struct MarkedSetting {
    Setting setting;
    QString name; // as in SaveReport
    SettingComparison comparison;
};

// Compares every setting the document marks to be saved with what the
// volume holds, in the order Save takes them. Reads only.
[[nodiscard]] QList<MarkedSetting> compareMarkedSettings(const LumoraLogin &controller);

// Clears the marks of the settings that hold, so that the next Save leaves
// them alone; returns how many stay marked.
int unmarkSettingsThatHold(LumoraLogin &controller, const QList<MarkedSetting> &settings);
