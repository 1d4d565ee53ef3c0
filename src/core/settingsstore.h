#pragma once

#include "seams.h"

namespace vellomar {

// $XDG_CONFIG_HOME/Vellomar/Vellomar.ini (default ~/.config). Reading never writes the file.
class IniSettingsStore : public SettingsStore
{
  public:
    QString read(const QString &section, const QString &key, const QString &def) const override;
    bool write(const QString &section, const QString &key, const QString &value) override;
    static QString filepath();
};

} // namespace vellomar
