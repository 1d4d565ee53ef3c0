#include "digsession.h"

#include "entrysource.h"
#include "passlock.h"

namespace vellomar {

namespace {
// Copies waiting for their names hold two descriptors each.
constexpr size_t mostwaiting = 32;
} // namespace

DigSession::DigSession(const PassLock &lock, const QString &downloaddir, const QDateTime &started,
                       DigCounters &counters)
    : m_downloaddir(downloaddir), m_started(started), m_counters(counters), m_writer(downloaddir)
{
    Q_UNUSED(lock);
}

DigSession::~DigSession()
{
    finish();
}

void DigSession::dig(int sourcefolderfd, const QString &cachefolder, const QString &name,
                     const QString &type, const CacheRecord *record, const SiteTarget *site)
{
    DigDetail &d = m_details.emplace_back();
    Waiting w{m_details.size() - 1, {}, 0, cachefolder, name, type, record};
    const auto held = [this](const QString &path) {
        return m_held.contains(path);
    };
    int sumfd = -1;
    // A file that would take a name a waiting copy takes: those settle first.
    while (!stagefile(sourcefolderfd, name, type, m_downloaddir, site, m_folders, held, w.file, d,
                      &sumfd))
        finish();
    wait(std::move(w), sumfd);
}

void DigSession::dig(const EntrySource &source, const SourceEntry &entry, const SiteTarget *site)
{
    if (source.plainfiles()) {
        dig(source.plainfolder(entry), source.folderpath(entry), entry.name, entry.type,
            entry.record, site);
        return;
    }
    DigDetail &d = m_details.emplace_back();
    Waiting w{m_details.size() - 1, {},         0,           source.folderpath(entry),
              entry.storedat,       entry.type, entry.record};
    QString why;
    const std::unique_ptr<EntryStream> in = source.open(entry, why);
    stagestreamfile(in.get(), why, entry.name, entry.type, source.cachedns(entry), m_downloaddir,
                    site, m_folders, w.file, d);
    const auto held = [this](const QString &path) {
        return m_held.contains(path);
    };
    int sumfd = -1;
    while (!namestaged(w.file, held, d, &sumfd))
        finish();
    wait(std::move(w), sumfd);
}

void DigSession::wait(Waiting &&w, int sumfd)
{
    DigDetail &d = m_details[w.index];
    if (sumfd >= 0)
        w.ticket = m_summer.add(sumfd, w.file.size, &d.sha256);
    if (w.file.outcome == DigOutcome::copied)
        m_held.insert(w.file.folder + w.file.candidate);
    m_outcomes.push_back(DigOutcome::missing);
    m_waiting.push_back(std::move(w));
    // Whatever has its sum by now takes its name.
    while (!m_waiting.empty() && (m_waiting.size() > mostwaiting || m_waiting.front().ticket == 0 ||
                                  m_summer.done(m_waiting.front().ticket)))
        settlefront();
}

void DigSession::finish()
{
    while (!m_waiting.empty())
        settlefront();
}

void DigSession::settlefront()
{
    Waiting &w = m_waiting.front();
    if (w.ticket > 0)
        m_summer.waitfor(w.ticket);
    DigDetail &d = m_details[w.index];
    const DigRecord record = [&](DigOutcome outcome, const DigDetail &detail,
                                 const std::function<bool()> &name) {
        return m_writer.record(manifestline(m_started, w.cachefolder, w.name, w.type, outcome,
                                            detail, w.record, m_downloaddir),
                               name);
    };
    if (w.file.outcome == DigOutcome::copied)
        m_held.remove(w.file.folder + w.file.candidate);
    m_outcomes[w.index] = settlefile(w.file, m_counters, d, record);
    m_waiting.pop_front();
}

std::vector<DigOutcome> digrows(int sourcefolderfd, const QString &cachefolder,
                                const std::vector<DigRow> &rows, DigSession &session,
                                const DigProgress &progress)
{
    std::vector<size_t> dug; // the rows given to the session, by their place in its outcomes
    const size_t first = session.outcomes().size();
    std::vector<DigOutcome> outcomes;
    outcomes.reserve(rows.size());
    const qint64 n = qint64(rows.size());
    for (qint64 r = 0; r < n; ++r) {
        const DigRow &row = rows[size_t(r)];
        outcomes.push_back(DigOutcome::skipped);
        if (row.chosen) {
            dug.push_back(size_t(r));
            session.dig(sourcefolderfd, cachefolder, row.name, row.type, row.record);
        }
        if (progress && !progress(r, n))
            break;
    }
    session.finish();
    for (size_t k = 0; k < dug.size(); ++k)
        outcomes[dug[k]] = session.outcomes()[first + k];
    return outcomes;
}

} // namespace vellomar
