#pragma once

#include "digcounters.h"
#include "digpass.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;

namespace vellomar {

class BusyAnimation;
struct CacheRecord;
class ListedFiles;
class PassLock;
class Seams;

// The dig commands: the three dig buttons, the download directory's buttons, and over the
// preview board the busy animation, the progress text and the report. It reads the rows from
// the list it is given and announces when it is busy.
class DigCommands : public QObject
{
    Q_OBJECT
  public:
    // Buttons go on `form`; the progress and the report cover `board`.
    DigCommands(QWidget *form, QWidget *board, ListedFiles &list, const Seams &seams);
    ~DigCommands() override;

    // The stored download directory (or the default) and its tree.
    void load();
    // A running dig ends after its current row.
    void stop() { m_stopping = true; }

    void makeresdirs();
    void digcurrentlist(const bool &allrows);
    void setbusy(const bool &busy);
    void resetdigstats();
    void showdigstats();
    void digcommand(const std::function<void()> &passes);
    void cmd_downcurselect_Click();
    void cmd_downcurall_Click();
    void Cmd_autodownall_Click();
    void cmd_selectdowndir_Click();
    void cmd_opendowndir_Click();
    void cmd_killall_Click();
    // The report gives way to a preview.
    void hidereport();

    QString downloaddir() const { return m_downloaddir; }
    bool digging() const { return m_digging; }
    const DigCounters &counters() const { return m_counters; }

    // Outcomes kept for the user: every row of the last dig command, in order, what the last
    // emptying could not delete, and whether the last chosen folder was stored.
    const std::vector<DigOutcome> &lastdig() const { return m_lastdig; }
    const QStringList &killfailures() const { return m_killfailures; }
    bool downloaddirstored() const { return m_downloaddirstored; }
    // Why the manifest could not be written during the last dig command; empty when it was.
    const QString &manifestfailure() const { return m_manifestfailure; }

  signals:
    void busychanged(bool busy);

  private:
    void createcontrols(QWidget *form, QWidget *board);
    QString storeddownloaddir() const;
    void setdownprocesscaption(const QString &text);
    void setdigresultcaption(const QString &text);

    ListedFiles &m_list;
    const Seams &m_seams;
    QPushButton *cmd_downcurall;
    QPushButton *cmd_downcurselect;
    QToolButton *cmd_selectdowndir;
    QToolButton *cmd_opendowndir;
    QToolButton *cmd_killall;
    QPushButton *Cmd_autodownall;
    BusyAnimation *FlashDown;
    QWidget *pic_downprocesslblbox;
    QLabel *lbl_downprocess;
    QProgressBar *prg_downprocess;
    QLabel *lbl_digresult;

    QString m_downloaddir;
    bool m_digging = false;
    std::atomic<bool> m_stopping{false};
    DigCounters m_counters;
    std::vector<DigOutcome> m_lastdig;
    QStringList m_killfailures;
    bool m_downloaddirstored = true;
    QString m_manifestfailure;
    QDateTime m_started;
    std::unique_ptr<PassLock> m_passlock; // held while a dig command runs
};

} // namespace vellomar
