#include "settingsstore.h"

#include "texts.h"

#include <QSettings>

namespace vellomar {

QString IniSettingsStore::read(const QString &section, const QString &key, const QString &def) const
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, texts::appname, texts::appname);
    return s.value(section + QLatin1Char('/') + key, def).toString();
}

bool IniSettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, texts::appname, texts::appname);
    s.setValue(section + QLatin1Char('/') + key, value);
    s.sync();
    return s.status() == QSettings::NoError;
}

QString IniSettingsStore::filepath()
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, texts::appname, texts::appname);
    return s.fileName();
}

} // namespace vellomar
