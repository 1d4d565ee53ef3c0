#include "picturecache.h"

#include "picturesurface.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace vellomar {

namespace {

// Ranks: each want() or take() is a tick of the clock, and every rank it gives is above those
// given before; within a want() the first file is the highest.
constexpr qint64 ranksatick = 1024;

} // namespace

PictureCache::PictureCache(qint64 budget, QObject *parent) : QObject(parent), m_budget(budget)
{
    // The two pictures ahead decode together where there are cores for both: a held key asks
    // for pictures faster than one decoder makes them.
    m_pool.setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 2));
}

PictureCache::~PictureCache()
{
    for (auto &[path, r] : m_running)
        r.watcher->disconnect(this);
    m_pool.waitForDone();
}

void PictureCache::want(const QStringList &paths)
{
    ++m_clock;
    m_wanted.clear();
    m_queue.clear();
    const int n = int(std::min<qsizetype>(paths.size(), ranksatick));
    for (int i = 0; i < n; ++i) {
        const QString &path = paths[i];
        const qint64 rank = m_clock * ranksatick + (ranksatick - 1 - i);
        m_wanted.insert(path, rank);
        if (auto it = m_ready.find(path); it != m_ready.end())
            it->rank = rank;
        else if (!m_running.count(path))
            m_queue << path;
    }
    startnext();
    trim();
}

bool PictureCache::take(const QString &path, const FileIdentity &standing, DecodedPicture &picture)
{
    const qint64 rank = ++m_clock * ranksatick + ranksatick - 1;
    if (const auto r = m_running.find(path); r != m_running.end() && !r->second.discard) {
        // Being decoded: waited for, never decoded a second time.
        r->second.watcher->waitForFinished();
        picture = collect(path, rank);
    } else if (const auto it = m_ready.find(path); it != m_ready.end()) {
        it->rank = rank;
        picture = it->picture;
    } else {
        m_queue.removeOne(path); // not begun: the caller reads it now
        return false;
    }
    // Its identity was taken from the descriptor the decode read.
    if (!picture.file.valid() || standing != picture.file) {
        forget(path);
        picture = DecodedPicture();
        return false;
    }
    return true;
}

void PictureCache::drop()
{
    m_ready.clear();
    m_bytes = 0;
    m_queue.clear();
    m_wanted.clear();
    for (auto &[path, r] : m_running)
        r.discard = true;
    if (m_surface)
        m_surface->trim();
}

void PictureCache::startnext()
{
    while (int(m_running.size()) < m_pool.maxThreadCount() && !m_queue.isEmpty()) {
        const QString path = m_queue.takeFirst();
        Running &r = m_running[path];
        r.watcher = new QFutureWatcher<DecodedPicture>(this);
        connect(r.watcher, &QFutureWatcher<DecodedPicture>::finished, this,
                [this, path] { finished(path); });
        r.watcher->setFuture(QtConcurrent::run(&m_pool, [path, surface = m_surface] {
            DecodedPicture picture;
            readpicture(path, picture, surface);
            return picture;
        }));
    }
}

// A decode in flight is done (its watcher says so, or take() waited for it).
void PictureCache::finished(const QString &path)
{
    if (const auto r = m_running.find(path);
        r != m_running.end() && r->second.watcher->isFinished())
        collect(path, m_wanted.value(path, 0));
}

DecodedPicture PictureCache::collect(const QString &path, qint64 rank)
{
    const auto r = m_running.find(path);
    DecodedPicture picture = r->second.watcher->result();
    const bool discard = r->second.discard;
    // Collected from its watcher's own signal, maybe: the watcher lets go of the picture now
    // and goes itself once that signal has returned.
    r->second.watcher->disconnect(this);
    r->second.watcher->setFuture(QFuture<DecodedPicture>());
    r->second.watcher->deleteLater();
    m_running.erase(r);
    if (!discard)
        keep(path, picture, rank);
    startnext();
    trim();
    return picture;
}

void PictureCache::forget(const QString &path)
{
    if (const auto it = m_ready.find(path); it != m_ready.end()) {
        m_bytes -= it->cost;
        m_ready.erase(it);
    }
}

void PictureCache::keep(const QString &path, DecodedPicture picture, qint64 rank)
{
    forget(path);
    if (!picture.file.valid())
        return; // never opened: nothing to tell a changed file by
    Entry e;
    e.cost = picture.image.sizeInBytes() + picture.data.size();
    e.picture = std::move(picture);
    e.rank = rank;
    m_bytes += e.cost;
    m_ready.insert(path, std::move(e));
}

// The least wanted go first until the rest fits.
void PictureCache::trim()
{
    while (m_bytes > m_budget && !m_ready.isEmpty()) {
        auto least = m_ready.begin();
        for (auto it = m_ready.begin(); it != m_ready.end(); ++it) {
            if (it->rank < least->rank)
                least = it;
        }
        m_bytes -= least->cost;
        m_ready.erase(least);
    }
}

} // namespace vellomar
