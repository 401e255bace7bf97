#include "ui/settingsstore.h"

#include "common/text.h"

namespace mosscatch {

SettingsStore::SettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Coalvesper"),
                 QStringLiteral("Coalvesper"))
{
}

void SettingsStore::saveSettingValue(const QString &key, const QString &value)
{
    m_settings.setValue(fullKey(key), value);
    // Written through at once: closing the window ends the program without a save step.
    m_settings.sync();
}

QString SettingsStore::readSettingValue(const QString &key, const QString &defaultValue) const
{
    const QString name = fullKey(key);
    if (!m_settings.contains(name))
        return defaultValue;
    return m_settings.value(name).toString();
}

QString SettingsStore::fullKey(const QString &key)
{
    return QStringLiteral("Settings/") + lowerTrim(key);
}

}
