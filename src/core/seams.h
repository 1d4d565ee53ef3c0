#pragma once

#include "cachediscovery.h"

#include <QSize>
#include <QString>
#include <functional>
#include <vector>

namespace vellomar {

// Modal questions and notices, and the folder dialog. Tests answer them without a window.
class Dialogs
{
  public:
    virtual ~Dialogs() = default;
    // Yes/No with Yes the default; true for Yes.
    virtual bool confirm(const QString &text) = 0;
    // One OK button.
    virtual void inform(const QString &text) = 0;
    // The chosen folder, or empty on cancel.
    virtual QString choosefolder(const QString &title, const QString &start) = 0;
    // One of several caches found in `place`, `preselected` offered first; -1 on cancel.
    virtual int choosecache(const QString &place, const std::vector<FoundCache> &caches,
                            int preselected) = 0;
};

// Opens a path with the desktop's associated program. The outcome comes later, on the
// window's thread: `done(false)` when the path could not be opened.
class ShellLauncher
{
  public:
    virtual ~ShellLauncher() = default;
    virtual void open(const QString &path, std::function<void(bool)> done) = 0;
};

// The primary screen's size in pixels.
class ScreenInfo
{
  public:
    virtual ~ScreenInfo() = default;
    virtual QSize size() const = 0;
};

// The per-user settings store, addressed by section and key.
class SettingsStore
{
  public:
    virtual ~SettingsStore() = default;
    virtual QString read(const QString &section, const QString &key, const QString &def) const = 0;
    virtual bool write(const QString &section, const QString &key, const QString &value) = 0;
};

// What stands in for a service nobody wants: no answer is Yes, nothing opens, a screen of
// 1024 x 768, and settings that keep nothing.
class NoDialogs : public Dialogs
{
  public:
    bool confirm(const QString &) override { return false; }
    void inform(const QString &) override {}
    QString choosefolder(const QString &, const QString &) override { return {}; }
    int choosecache(const QString &, const std::vector<FoundCache> &, int) override { return -1; }
};

class NoLauncher : public ShellLauncher
{
  public:
    void open(const QString &, std::function<void(bool)> done) override { done(false); }
};

class NoScreen : public ScreenInfo
{
  public:
    QSize size() const override { return {1024, 768}; }
};

class NoSettings : public SettingsStore
{
  public:
    QString read(const QString &, const QString &, const QString &def) const override
    {
        return def;
    }
    bool write(const QString &, const QString &, const QString &) override { return false; }
};

// The services a window uses. A service left out is one that does nothing, never a null.
class Seams
{
  public:
    Seams() = default;
    Seams(Dialogs *d, ShellLauncher *l, ScreenInfo *s, SettingsStore *st)
        : m_dialogs(d), m_launcher(l), m_screen(s), m_settings(st)
    {
    }
    Dialogs &dialogs() const { return m_dialogs ? *m_dialogs : nodialogs(); }
    ShellLauncher &launcher() const { return m_launcher ? *m_launcher : nolauncher(); }
    ScreenInfo &screen() const { return m_screen ? *m_screen : noscreen(); }
    SettingsStore &settings() const { return m_settings ? *m_settings : nosettings(); }

  private:
    static Dialogs &nodialogs()
    {
        static NoDialogs d;
        return d;
    }
    static ShellLauncher &nolauncher()
    {
        static NoLauncher l;
        return l;
    }
    static ScreenInfo &noscreen()
    {
        static NoScreen s;
        return s;
    }
    static SettingsStore &nosettings()
    {
        static NoSettings s;
        return s;
    }

    Dialogs *m_dialogs = nullptr;
    ShellLauncher *m_launcher = nullptr;
    ScreenInfo *m_screen = nullptr;
    SettingsStore *m_settings = nullptr;
};

} // namespace vellomar
