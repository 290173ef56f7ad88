#include "controller/SettingsDocument.h"

#include "controller/SettingModel.h"

SettingsDocument::SettingsDocument(QObject *parent) : QObject(parent)
{
    for (const SettingModel *model : settingModels())
        m_values[indexOf(model->setting())] = model->initial();
}

void SettingsDocument::setValue(Setting setting, const SettingValue &value)
{
    m_values[indexOf(setting)] = value;
    emit settingSet(setting);
    setChanged(setting, true);
    if (setting == Setting::Background)
        setShouldRevertBackground(false);
}

void SettingsDocument::setChanged(Setting setting, bool flag)
{
    m_changed[indexOf(setting)] = flag;
    if (flag)
        setDirty(true);
    emit flagsChanged();
}

void SettingsDocument::setDirty(bool flag)
{
    m_dirty = flag;
    emit flagsChanged();
}

void SettingsDocument::setShouldRevertBackground(bool flag)
{
    m_shouldRevertBackground = flag;
}

void SettingsDocument::takeEditedMessage(const std::optional<QString> &typed)
{
    if (typed)
        m_values[indexOf(Setting::Message)] = typed;
    emit messageEdited();
    setChanged(Setting::Message, true);
}
