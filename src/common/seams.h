#pragma once

#include <QSize>
#include <QString>
#include <functional>

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

struct Seams {
    Dialogs *dialogs = nullptr;
    ShellLauncher *launcher = nullptr;
    ScreenInfo *screen = nullptr;
    SettingsStore *settings = nullptr;
};

} // namespace vellomar
