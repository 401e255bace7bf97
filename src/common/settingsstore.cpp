#include "common/settingsstore.h"

#include "common/text.h"

#include <algorithm>

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
    const QString name = storedKey(key);
    if (name.isEmpty())
        return defaultValue;
    return m_settings.value(name).toString();
}

// The file's keys are case-sensitive: one written by hand ("KeepAlive=false")
// is found in whatever case it was written, the store's own lower-case key first.
QString SettingsStore::storedKey(const QString &key) const
{
    const QString name = fullKey(key);
    if (m_settings.contains(name))
        return name;
    const QStringList keys = m_settings.allKeys();
    const auto found = std::ranges::find_if(keys, [&name](const QString &stored) {
        return stored.compare(name, Qt::CaseInsensitive) == 0;
    });
    return found == keys.end() ? QString() : *found;
}

QString SettingsStore::fullKey(const QString &key)
{
    return QStringLiteral("Settings/") + lowerTrim(key);
}

}
