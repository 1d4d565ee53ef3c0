#include "digcommands.h"

#include "busyanimation.h"
#include "digjob.h"
#include "entrysource.h"
#include "formkit.h"
#include "housekeeping.h"
#include "icons.h"
#include "listedfiles.h"
#include "passlock.h"
#include "platform.h"
#include "resourcetree.h"
#include "resultlistcontrol.h"
#include "seams.h"
#include "shellopen.h"
#include "texts.h"
#include "turning.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QStandardPaths>
#include <QToolButton>

namespace vellomar {

namespace {
constexpr int maxrowsahead = 32;
}

DigCommands::DigCommands(QWidget *form, QWidget *board, ListedFiles &list, const Seams &seams)
    : QObject(form), m_list(list), m_seams(seams)
{
    setObjectName(QStringLiteral("digcommands"));
    createcontrols(form, board);
    connect(cmd_downcurselect, &QPushButton::clicked, this, &DigCommands::cmd_downcurselect_Click);
    connect(cmd_downcurall, &QPushButton::clicked, this, &DigCommands::cmd_downcurall_Click);
    connect(Cmd_autodownall, &QPushButton::clicked, this, &DigCommands::Cmd_autodownall_Click);
    connect(cmd_selectdowndir, &QToolButton::clicked, this, &DigCommands::cmd_selectdowndir_Click);
    connect(cmd_opendowndir, &QToolButton::clicked, this, &DigCommands::cmd_opendowndir_Click);
    connect(cmd_killall, &QToolButton::clicked, this, &DigCommands::cmd_killall_Click);
}

DigCommands::~DigCommands() = default;

void DigCommands::createcontrols(QWidget *form, QWidget *board)
{
    cmd_downcurall = pushbutton(form, "cmd_downcurall", QStringLiteral("挖取列表"));
    place(cmd_downcurall, 5595, 120, 1160, 375);
    cmd_downcurselect = pushbutton(form, "cmd_downcurselect", QStringLiteral("挖取所选"));
    place(cmd_downcurselect, 6750, 120, 1160, 375);
    cmd_selectdowndir = iconbutton(form, "cmd_selectdowndir", ButtonIcon::choosefolder,
                                   QStringLiteral("请选择挖到资源的存放目录"));
    place(cmd_selectdowndir, 5600, 600, 375, 375);
    cmd_opendowndir =
        iconbutton(form, "cmd_opendowndir", ButtonIcon::openfolder, QStringLiteral("打开资源目录"));
    place(cmd_opendowndir, 5970, 600, 375, 375);
    cmd_killall =
        iconbutton(form, "cmd_killall", ButtonIcon::emptyfolders, QStringLiteral("清空资源目录"));
    place(cmd_killall, 6350, 600, 375, 375);
    Cmd_autodownall = pushbutton(form, "Cmd_autodownall", QStringLiteral("挖取全部"));
    place(Cmd_autodownall, 7480, 600, 1230, 375);

    FlashDown = named(new BusyAnimation(board), "FlashDown");
    place(FlashDown, 1920, 1080, 1695, 1575);
    FlashDown->hide();

    pic_downprocesslblbox = named(new QWidget(board), "pic_downprocesslblbox");
    place(pic_downprocesslblbox, 360, 2880, 4935, 855);
    paintbackground(pic_downprocesslblbox, windowcolour);
    lbl_downprocess = named(new QLabel(pic_downprocesslblbox), "lbl_downprocess");
    place(lbl_downprocess, 0, 30, 4935, 795);
    lbl_downprocess->setFont(songti(12));
    lbl_downprocess->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    {
        QPalette p = lbl_downprocess->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 192));
        lbl_downprocess->setPalette(p);
    }
    setdownprocesscaption(texts::designprogress);
    // Beside the text, a bar that follows its percentage.
    prg_downprocess = named(new QProgressBar(pic_downprocesslblbox), "prg_downprocess");
    prg_downprocess->setRange(0, 100);
    prg_downprocess->setValue(0);
    prg_downprocess->setGeometry(pixels(360), pixels(855) - 14, pixels(4935) - 2 * pixels(360), 12);
    prg_downprocess->setTextVisible(false);
    prg_downprocess->setAccessibleName(QStringLiteral("挖取进度"));
    pic_downprocesslblbox->hide();

    lbl_digresult = named(new QLabel(board), "lbl_digresult");
    place(lbl_digresult, 0, 0, 5535, 4815);
    lbl_digresult->setFont(kaiti(15));
    lbl_digresult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbl_digresult->setContentsMargins(8, 0, 4, 0);
    {
        QPalette p = lbl_digresult->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 192));
        lbl_digresult->setPalette(p);
    }
    // The report is a label of its own: clicks on it are not clicks on the board beneath.
    lbl_digresult->setAttribute(Qt::WA_NoMousePropagation);
    lbl_digresult->hide();
}

QString DigCommands::storeddownloaddir() const
{
    // The default is worked out (and its folder made) only when no stored value is in force.
    const QString usable = usabledownloaddir(
        m_seams.settings().read(texts::settingsgroup, texts::settingskey, QString()));
    if (!usable.isNull())
        return usable;
    const QString chosen = defaultdownloaddir(
        programfolder(), QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    // The user's download folder is theirs to have even before anything was downloaded.
    if (chosen != programfolder())
        QDir().mkpath(chosen);
    return chosen;
}

void DigCommands::load()
{
    m_downloaddir = storeddownloaddir();
    makeresdirs();
}

void DigCommands::makeresdirs()
{
    makeresourcetree(m_downloaddir);
}

void DigCommands::digcurrentlist(const bool &allrows)
{
    // The folder listed, or nothing: a folder swapped in since makes its rows fail.
    const FolderHandle source = m_list.openlisted();
    m_list.completerecords(); // the manifest names where each file came from
    const int n = m_list.rowcount();
    std::vector<SourceEntry> rows;
    std::vector<bool> chosen;
    std::vector<std::shared_ptr<const CacheRecord>> records; // the rows point into these
    rows.reserve(size_t(n));
    chosen.reserve(size_t(n));
    records.reserve(size_t(n));
    const EntrySource *browser = m_list.browsercache();
    for (int r = 0; r < n; ++r) {
        if (browser) { // the entry itself, whose record the source keeps
            rows.push_back(m_list.sourceentry(r));
            chosen.push_back(allrows || m_list.rowselected(r));
            continue;
        }
        ResultRow row = m_list.row(r);
        records.push_back(std::move(row.record));
        SourceEntry e;
        e.storedat = row.name;
        e.name = std::move(row.name);
        e.type = std::move(row.type);
        e.size = row.bytes;
        e.record = records.back().get();
        e.index = size_t(r);
        rows.push_back(std::move(e));
        chosen.push_back(allrows || m_list.rowselected(r));
    }
    const int folder = m_list.selectedfolder() + 1;
    const int folders = m_list.foldercount();
    const QString downloaddir = m_downloaddir;
    const QString listed = m_list.listedfolder();
    // Outside a dig command's frame, the pass holds the lock itself.
    std::unique_ptr<PassLock> ownlock;
    if (!m_passlock)
        ownlock = std::make_unique<PassLock>(downloaddir);
    const PassLock &lock = m_passlock ? *m_passlock : *ownlock;
    std::vector<DigOutcome> outcomes;
    QString manifesterror;
    const OpenFolderSource cache(source.fd(), listed);
    const EntrySource &from = browser ? *browser : static_cast<const EntrySource &>(cache);
    // The files are read and written on a worker, so that a large one does not hold the window.
    // The window shows each row's progress in turn, a few rows behind the worker at most: close
    // enough that a stop ends the pass soon, loose enough that small files need not wait for
    // the window to wake for each one.
    QSemaphore ahead(maxrowsahead - 1);
    runturning([&] {
        // Every file the pass goes through gets its line in the manifest, failures included.
        DigJob job(downloaddir, m_counters, &lock, m_started);
        outcomes = job.dig(from, rows, chosen, false, [&](qint64 r, qint64 total) {
            QMetaObject::invokeMethod(
                this,
                [this, &ahead, folder, folders, r, total] {
                    setdownprocesscaption(progresstext(folder, folders, r, total));
                    prg_downprocess->setValue(int(progresspercent(r, total)));
                    ahead.release();
                },
                Qt::QueuedConnection);
            // The last row, or a stop, waits for nothing.
            if (!m_stopping.load() && r + 1 < total)
                ahead.acquire();
            return !m_stopping.load();
        });
        manifesterror = job.manifestfailure();
    });
    // The last rows' progress is shown before the pass ends.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_lastdig.insert(m_lastdig.end(), outcomes.begin(), outcomes.end());
    if (!manifesterror.isEmpty() && m_manifestfailure.isEmpty())
        m_manifestfailure = manifesterror;
}

void DigCommands::setbusy(const bool &busy)
{
    for (QWidget *b :
         std::initializer_list<QWidget *>{Cmd_autodownall, cmd_selectdowndir, cmd_killall,
                                          cmd_downcurall, cmd_downcurselect, cmd_opendowndir})
        b->setEnabled(!busy);
    emit busychanged(busy);
    if (busy) {
        prg_downprocess->setValue(0);
        pic_downprocesslblbox->setVisible(true);
        FlashDown->setVisible(true);
        FlashDown->Play();
    } else {
        FlashDown->Stop();
        FlashDown->setVisible(false);
        pic_downprocesslblbox->setVisible(false);
    }
}

void DigCommands::resetdigstats()
{
    lbl_digresult->setVisible(false);
    m_counters.reset();
}

void DigCommands::showdigstats()
{
    lbl_digresult->setVisible(true);
    setdigresultcaption(digreport(m_counters));
}

void DigCommands::hidereport()
{
    lbl_digresult->setVisible(false);
}

// The frame every dig command runs its passes in.
void DigCommands::digcommand(const std::function<void()> &passes)
{
    m_digging = true;
    m_lastdig.clear();
    m_manifestfailure.clear();
    m_started = QDateTime::currentDateTimeUtc();
    resetdigstats();
    makeresdirs();
    m_passlock = std::make_unique<PassLock>(m_downloaddir);
    setbusy(true);
    passes();
    setbusy(false);
    m_passlock.reset();
    m_digging = false;
    showdigstats();
    // The report stays as it is; that its record is incomplete is said apart from it.
    if (!m_manifestfailure.isEmpty())
        m_seams.dialogs().inform(
            texts::manifestfailedtext(manifestpath(m_downloaddir), m_manifestfailure));
}

void DigCommands::cmd_downcurselect_Click()
{
    digcommand([this] { digcurrentlist(false); });
}

void DigCommands::cmd_downcurall_Click()
{
    digcommand([this] { digcurrentlist(true); });
}

void DigCommands::Cmd_autodownall_Click()
{
    digcommand([this] {
        const int n = m_list.foldercount();
        for (int k = 0; k < n && !m_stopping; ++k) {
            m_list.choosefolder(k);
            digcurrentlist(true);
        }
    });
}

void DigCommands::cmd_selectdowndir_Click()
{
    const QString chosen = m_seams.dialogs().choosefolder(texts::browsetitle, m_downloaddir);
    if (!chosen.isEmpty()) {
        m_downloaddir = chosen + separator();
        m_downloaddirstored =
            m_seams.settings().write(texts::settingsgroup, texts::settingskey, m_downloaddir);
    } else {
        m_downloaddir = storeddownloaddir();
    }
    makeresdirs();
}

void DigCommands::cmd_opendowndir_Click()
{
    makeresdirs();
    shellopen(this, m_seams, m_downloaddir + texts::resourcefolder);
}

void DigCommands::cmd_killall_Click()
{
    if (!m_seams.dialogs().confirm(texts::confirmkillall))
        return;
    makeresdirs();
    m_killfailures = emptyclassfolders(m_downloaddir);
    makeresdirs();
}

void DigCommands::setdownprocesscaption(const QString &text)
{
    const QString shown = texts::forlabel(text);
    if (shown == lbl_downprocess->text())
        return; // no repaint when nothing changed
    lbl_downprocess->setText(shown);
}

void DigCommands::setdigresultcaption(const QString &text)
{
    lbl_digresult->setText(texts::forlabel(text));
    const QRect room = lbl_digresult->contentsRect();
    shrinktofit(lbl_digresult, kaiti(15), [this, room](const QFont &f) {
        return QFontMetrics(f)
                   .boundingRect(room, int(lbl_digresult->alignment()), lbl_digresult->text())
                   .height() <= room.height();
    });
}

} // namespace vellomar
