#pragma once

#include "pictureholder.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <map>

namespace vellomar {

class PictureSurface;

// What the pictures decoded ahead may hold at once: five full-HD frames (about 40 MB), enough
// for the picture shown, the next and the previous, and the two met just before when the user
// turns back. A bigger photo is decoded ahead all the same but not kept once taken.
constexpr qint64 aheadbudgetbytes = qint64(5) * 1920 * 1080 * 4;

// Pictures decoded ahead on workers, read exactly as PictureHolder reads them.
// A picture is handed out only while its file is the one decoded: a file written or replaced
// since is decoded afresh by the caller.
class PictureCache : public QObject
{
    Q_OBJECT
  public:
    explicit PictureCache(qint64 budget = aheadbudgetbytes, QObject *parent = nullptr);
    // Waits for the decodes in flight.
    ~PictureCache() override;

    // Decodes these files next, the first the likeliest to be asked for. They become the most
    // wanted; what was wanted before comes after them when the budget runs short.
    void want(const QStringList &paths);
    // The picture of `path` (a null image: the file is no picture), when one was decoded from
    // the file as it stands now, `standing` (its identity asked afresh by the caller, beneath the
    // folder listed); one being decoded is waited for. False when there is none, and the caller
    // reads the file itself.
    bool take(const QString &path, const FileIdentity &standing, DecodedPicture &picture);
    // Lets every picture go; those in flight are let go when they are done.
    void drop();
    // Where opaque still pictures are decoded to from the next decode on; none by default. It
    // must outlive the cache.
    void setsurface(PictureSurface *surface) { m_surface = surface; }

    bool holds(const QString &path) const { return m_ready.contains(path); }
    // Decoding, or with files still to decode.
    bool busy() const { return !m_running.empty() || !m_queue.isEmpty(); }
    int count() const { return int(m_ready.size()); }
    qint64 bytes() const { return m_bytes; }

  private:
    struct Running {
        QFutureWatcher<DecodedPicture> *watcher = nullptr; // a child, watching the decode
        bool discard = false;                              // dropped before it ended
    };
    struct Entry {
        DecodedPicture picture;
        qint64 cost = 0;
        qint64 rank = 0; // the higher, the more wanted
    };
    void startnext();
    void finished(const QString &path);
    DecodedPicture collect(const QString &path, qint64 rank);
    void forget(const QString &path);
    void keep(const QString &path, DecodedPicture picture, qint64 rank);
    void trim();

    const qint64 m_budget;
    QHash<QString, Entry> m_ready;
    qint64 m_bytes = 0;
    QStringList m_queue;
    QHash<QString, qint64> m_wanted; // the rank each file of the last want() gets when kept
    qint64 m_clock = 0;
    std::map<QString, Running> m_running;
    PictureSurface *m_surface = nullptr;
    QThreadPool m_pool;
};

} // namespace vellomar
