#pragma once

#include "app/frm_main.h"
#include "common/seams.h"
#include "preview/flashplayer.h"
#include "preview/swfview.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace vellomar::test {

class RecordingDialogs : public Dialogs
{
  public:
    bool answer = true;
    QString folder; // what the folder dialog returns; empty is cancel
    QStringList confirms, informs, browses;
    bool confirm(const QString &text) override
    {
        confirms << text;
        return answer;
    }
    void inform(const QString &text) override { informs << text; }
    QString choosefolder(const QString &title, const QString &start) override
    {
        browses << title + QLatin1Char('|') + start;
        return folder;
    }
};

class RecordingLauncher : public ShellLauncher
{
  public:
    bool succeed = true;
    QStringList opened;
    void open(const QString &path, std::function<void(bool)> done) override
    {
        opened << path;
        done(succeed);
    }
};

class FixedScreen : public ScreenInfo
{
  public:
    QSize pixels{1024, 768};
    QSize size() const override { return pixels; }
};

class MemorySettings : public SettingsStore
{
  public:
    QMap<QString, QString> values;
    int writes = 0;
    QString read(const QString &section, const QString &key, const QString &def) const override
    {
        return values.value(section + QLatin1Char('/') + key, def);
    }
    bool write(const QString &section, const QString &key, const QString &value) override
    {
        ++writes;
        values[section + QLatin1Char('/') + key] = value;
        return true;
    }
};

// Writes a file of `bytes` bytes (or the given content); makes parent folders.
bool writefile(const QString &path, qint64 bytes, char fill = 'x');
bool writecontent(const QString &path, const QByteArray &content);
QByteArray readcontent(const QString &path);

// A cache root (the folder VELLOMAR_CACHE names) with Content.IE5 inside.
struct CacheFixture {
    QTemporaryDir dir;
    QString cacheroot() const { return dir.path() + QStringLiteral("/cache"); }
    QString ie5() const { return cacheroot() + QStringLiteral("/Content.IE5"); }
    QString sub(const QString &name) const { return ie5() + QLatin1Char('/') + name; }
    QString download() const { return dir.path() + QStringLiteral("/down/"); }
    CacheFixture();
};

// A main window over a fixture, with recording seams, loaded.
struct Window {
    RecordingDialogs dialogs;
    RecordingLauncher launcher;
    ShellLauncher *opener = &launcher; // set before load to use another
    FixedScreen screen;
    MemorySettings settings;
    std::unique_ptr<frm_main> w;
    // Points VELLOMAR_CACHE at `cacheroot` and loads the window with `downloaddir` stored.
    void load(const QString &cacheroot, const QString &downloaddir);
    frm_main *operator->() const { return w.get(); }
};

// What Ruffle itself says of the player's movie (not a flag of ours); waits for the answer.
SwfView::State swfstate(const FlashPlayer &player);

// The file names shown in the result list, in row order.
QStringList rownames(const frm_main &w);

} // namespace vellomar::test
