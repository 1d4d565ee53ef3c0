#include "digjob.h"

#include "passlock.h"
#include "resourcetree.h"
#include "sitepath.h"

namespace vellomar {

std::vector<SourceEntry> listentries(const EntrySource &source, const QString &pattern,
                                     const SizeFilter &sizes, const QStringList &folders)
{
    std::vector<SourceEntry> rows;
    for (const QString &folder : source.folders()) {
        if (!folders.isEmpty() && !folders.contains(folder, Qt::CaseInsensitive))
            continue;
        std::vector<SourceEntry> some = source.entries(folder, pattern, sizes);
        rows.insert(rows.end(), std::make_move_iterator(some.begin()),
                    std::make_move_iterator(some.end()));
    }
    return rows;
}

SiteTarget entrytarget(const SourceEntry &entry, bool sitelayout)
{
    SiteTarget site;
    if (sitelayout && entry.record)
        site = sitetarget(entry.record->address);
    return site;
}

DigJob::DigJob(const QString &downloaddir, DigCounters &counters, const PassLock *lock,
               const QDateTime &started)
    : m_downloaddir(downloaddir), m_counters(counters), m_lock(lock), m_started(started)
{
}

DigJob::~DigJob() = default;

std::vector<DigOutcome> DigJob::dig(const EntrySource &source, const std::vector<SourceEntry> &rows,
                                    const std::vector<bool> &chosen, bool sitelayout,
                                    const DigProgress &progress)
{
    if (!m_lock) {
        makeresourcetree(m_downloaddir);
        m_ownlock = std::make_unique<PassLock>(m_downloaddir);
        m_lock = m_ownlock.get();
    }
    std::vector<DigOutcome> outcomes;
    std::vector<size_t> dug; // the rows given to the session, in its order
    {
        DigSession session(*m_lock, m_downloaddir, m_started, m_counters);
        const qint64 n = qint64(rows.size());
        outcomes.reserve(rows.size());
        for (qint64 r = 0; r < n; ++r) {
            const SourceEntry &row = rows[size_t(r)];
            outcomes.push_back(DigOutcome::skipped);
            if (chosen.empty() || (size_t(r) < chosen.size() && chosen[size_t(r)])) {
                dug.push_back(size_t(r));
                const SiteTarget site = entrytarget(row, sitelayout);
                session.dig(source, row, site.folders.isEmpty() ? nullptr : &site);
            }
            if (progress && !progress(r, n))
                break;
        }
        session.finish();
        for (size_t k = 0; k < dug.size(); ++k) {
            const DigOutcome o = session.outcomes()[k];
            outcomes[dug[k]] = o;
            if (o != DigOutcome::copied && o != DigOutcome::same)
                m_failures << source.shownpath(rows[dug[k]]) + QStringLiteral(": ") +
                                  session.details()[k].reason;
        }
        if (session.manifesterror() && m_manifestfailure.isEmpty())
            m_manifestfailure = QString::fromLocal8Bit(session.manifesterror().message().c_str());
    }
    return outcomes;
}

} // namespace vellomar
