#pragma once

#include <QSettings>
#include <QString>

namespace mosscatch {

// The program's per-user settings: application "Coalvesper", group
// "Settings". Keys are compared lower-cased and trimmed; values are kept
// exactly as given, and an empty stored value counts as a value.
class SettingsStore
{
public:
    SettingsStore();

    void saveSettingValue(const QString &key, const QString &value);
    QString readSettingValue(const QString &key, const QString &defaultValue = {}) const;

private:
    static QString fullKey(const QString &key);
    QString storedKey(const QString &key) const;

    QSettings m_settings;
};

}
