#pragma once

#include "cachebrowser.h"
#include "digcommands.h"
#include "flashplayer.h"
#include "frm_main.h"
#include "frm_picfullscreen.h"
#include "previewarea.h"
#include "seams.h"
#include "swfview.h"
#include "testfiles.h"

#include <QByteArray>
#include <QImage>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;

namespace vellomar {
class BusyAnimation;
class PictureCache;
class FileListBox;
class ImageControl;
class MediaPlayer;
class PreviewBoard;
class ResultListControl;
} // namespace vellomar

namespace vellomar::test {

// What a program run to its end gave: its exit status (-1 when it crashed or did not end within
// two minutes) and its output.
struct Run {
    int status = -1;
    QByteArray out, err;
};
Run runprogram(const QString &program, const QStringList &args,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

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
    int cachechoice = -2; // what the cache chooser returns; -2: the row it offers first
    std::vector<std::vector<FoundCache>> offered;
    int choosecache(const QString &, const std::vector<FoundCache> &caches,
                    int preselected) override
    {
        offered.push_back(caches);
        return cachechoice == -2 ? preselected : cachechoice;
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
    bool writable = true; // false: a store that cannot be written, like a full disk
    QString read(const QString &section, const QString &key, const QString &def) const override
    {
        return values.value(section + QLatin1Char('/') + key, def);
    }
    bool write(const QString &section, const QString &key, const QString &value) override
    {
        ++writes;
        if (!writable)
            return false;
        values[section + QLatin1Char('/') + key] = value;
        return true;
    }
};

// Writes a file of `bytes` bytes (or the given content); makes parent folders.
bool writefile(const QString &path, qint64 bytes, char fill = 'x');

// A cache root (the folder VELLOMAR_CACHE names) with Content.IE5 inside.
struct CacheFixture {
    QTemporaryDir dir;
    QString cacheroot() const { return dir.path() + QStringLiteral("/cache"); }
    QString ie5() const { return cacheroot() + QStringLiteral("/Content.IE5"); }
    QString sub(const QString &name) const { return ie5() + QLatin1Char('/') + name; }
    QString download() const { return dir.path() + QStringLiteral("/down/"); }
    CacheFixture();
};

// The main window's controls, found by name as a user's tools would find them.
struct Controls {
    explicit Controls(const frm_main &form);
    QListWidget *lst_TmpIntDir;
    FileListBox *flt_iecachesubdir;
    QGroupBox *fra_filetype;
    std::array<QRadioButton *, 8> Opt_filetype{};
    QGroupBox *fra_filesize;
    QLabel *lbl_minfilesize;
    QSlider *SlD_minfilesize;
    QLabel *lbl_maxfilesize;
    QSlider *SlD_maxfilesize;
    ResultListControl *Rlt_iecachesubdir;
    QPushButton *cmd_downcurall;
    QPushButton *cmd_downcurselect;
    QToolButton *cmd_selectdowndir;
    QToolButton *cmd_opendowndir;
    QToolButton *cmd_killall;
    QToolButton *Cmd_cleariecache;
    QToolButton *Cmd_refreshfilelist;
    QPushButton *Cmd_autodownall;
    MediaPlayer *wmp;
    QWidget *Pic_imgbox;
    PreviewBoard *Pic_imgboard;
    ImageControl *Img_largeview;
    FlashPlayer *Flashbox;
    BusyAnimation *FlashDown;
    QWidget *pic_downprocesslblbox;
    QLabel *lbl_downprocess;
    QProgressBar *prg_downprocess;
    QLabel *lbl_digresult;
    QGroupBox *Fra_otheropt;
    QGroupBox *Fra_picopenmode;
    std::array<QRadioButton *, 2> opt_picopenmode{};
    QGroupBox *fra_picorisizemode;
    std::array<QRadioButton *, 2> Opt_picorisizemode{};
};

// A Windows disk: an XP profile (alice, in other letter case), a Windows 7 one with its Low
// cache (bob) and a Windows 10 one with its Low cache (carol). carol's IE cache holds the
// newest file, dated `newest` (seconds since 1970).
struct DiskFixture {
    QTemporaryDir dir;
    QString root;
    qint64 newest = 1700000000;
    DiskFixture();
};

// A main window over a fixture, with recording seams, loaded. `w->name` is the control of that
// name; the parts are reached as `w.browser()` and so on.
struct Window {
    RecordingDialogs dialogs;
    RecordingLauncher launcher;
    ShellLauncher *opener = &launcher; // set before load to use another
    FixedScreen screen;
    MemorySettings settings;
    std::unique_ptr<frm_main> w;
    std::unique_ptr<Controls> controls;
    int rebuilds = 0; // result lists built since load
    // Points VELLOMAR_CACHE at `cacheroot` and loads the window with `downloaddir` stored.
    void load(const QString &cacheroot, const QString &downloaddir);
    // Loads the window as started with `place` on its command line (none when empty), leaving
    // the environment as it is, and waits for the place's search to end.
    void start(const QString &place, const QString &downloaddir);
    // The same without waiting: the place is still being searched.
    void begin(const QString &place, const QString &downloaddir);
    const Controls *operator->() const { return controls.get(); }
    frm_main &form() const { return *w; }
    CacheBrowser &browser() const;
    DigCommands &dig() const;
    PreviewArea &preview() const;
    // The viewer while it is open; null once closed.
    frm_picfullscreen *viewer() const;
    // Makes `row` the only selected and the current row, previews it and opens it, as a double
    // click does.
    void openrow(int row) const;
    // The label's text as it was built, lone carriage returns included.
    QString digresultcaption() const;
    QString downprocesscaption() const;
};

// What Ruffle itself says of the player's movie (not a flag of ours); waits for the answer.
SwfView::State swfstate(const FlashPlayer &player);

// The file names shown in the result list, in row order.
QStringList rownames(const Window &w);

// The picture a file decodes to on its own, as the program's reader decides its format.
QImage decoded(const QString &path);

// Once the event loop has turned (the viewer asks for pictures from it), whether the pictures
// asked for are all decoded within ten seconds.
bool settled(const PictureCache &cache);

// Sees each event a widget gets, before the widget does.
class EventWatch : public QObject
{
  public:
    EventWatch(QObject *target, std::function<void(QEvent *)> seen) : m_seen(std::move(seen))
    {
        target->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        m_seen(e);
        return false;
    }

  private:
    std::function<void(QEvent *)> m_seen;
};

} // namespace vellomar::test
