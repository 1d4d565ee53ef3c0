#include "picturecache.h"

#include "picturesurface.h"

#include <QtConcurrent/QtConcurrentRun>

namespace vellomar {

namespace {

// Ranks: each want() or take() is a tick of the clock, and every rank it gives is above those
// given before; within a want() the first file is the highest.
constexpr qint64 ranksatick = 1024;

} // namespace

PictureCache::PictureCache(qint64 budget, QObject *parent) : QObject(parent), m_budget(budget)
{
    // One decode at a time: the other core paints the picture shown meanwhile.
    m_pool.setMaxThreadCount(1);
    connect(&m_watcher, &QFutureWatcher<DecodedPicture>::finished, this, &PictureCache::finished);
}

PictureCache::~PictureCache()
{
    m_watcher.disconnect(this);
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
        else if (path != m_running)
            m_queue << path;
    }
    startnext();
    trim();
}

bool PictureCache::take(const QString &path, DecodedPicture &picture)
{
    const qint64 rank = ++m_clock * ranksatick + ranksatick - 1;
    if (path == m_running && !m_discard) {
        // Being decoded: waited for, never decoded a second time.
        m_future.waitForFinished();
        picture = collect(rank);
    } else if (const auto it = m_ready.find(path); it != m_ready.end()) {
        it->rank = rank;
        picture = it->picture;
    } else {
        m_queue.removeOne(path); // not begun: the caller reads it now
        return false;
    }
    if (!picture.file.valid() || plainfileidentity(nativepath(path)) != picture.file) {
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
    m_discard = !m_running.isEmpty();
    if (m_surface)
        m_surface->trim();
}

void PictureCache::startnext()
{
    if (!m_running.isEmpty() || m_queue.isEmpty())
        return;
    m_running = m_queue.takeFirst();
    m_future = QtConcurrent::run(&m_pool, [path = m_running, surface = m_surface] {
        DecodedPicture picture;
        readpicture(path, picture, surface);
        return picture;
    });
    m_watcher.setFuture(m_future);
}

// The decode in flight is done (the watcher says so, or take() waited for it).
void PictureCache::finished()
{
    if (!m_running.isEmpty() && m_future.isFinished())
        collect(m_wanted.value(m_running, 0));
}

DecodedPicture PictureCache::collect(qint64 rank)
{
    const QString path = std::exchange(m_running, QString());
    DecodedPicture picture = m_future.result();
    m_future = QFuture<DecodedPicture>();
    if (!std::exchange(m_discard, false))
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
