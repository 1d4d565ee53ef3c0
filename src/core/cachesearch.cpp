#include "cachesearch.h"

namespace vellomar {

CacheSearch::CacheSearch(QObject *parent) : QObject(parent) {}

CacheSearch::~CacheSearch()
{
    stop();
}

void CacheSearch::stop()
{
    if (m_control)
        m_control->cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_control)
        m_lastread = m_control->folders;
    m_control.reset();
}

void CacheSearch::start(const QString &place)
{
    stop();
    m_place = place;
    m_lastread = 0;
    auto control = std::make_shared<SearchControl>();
    m_control = control;
    m_thread = std::thread([this, place, control] {
        std::vector<FoundCache> caches = findcaches(place, control.get());
        const bool cancelled = control->cancel;
        // Queued to this object: dropped if it is gone, and ignored if another search has
        // replaced this one meanwhile.
        QMetaObject::invokeMethod(
            this,
            [this, place, control, caches = std::move(caches), cancelled] {
                if (m_control != control)
                    return;
                stop();
                emit finished(place, caches, cancelled);
            },
            Qt::QueuedConnection);
    });
}

void CacheSearch::cancel()
{
    if (m_control)
        m_control->cancel = true;
}

qint64 CacheSearch::foldersread() const
{
    return m_control ? qint64(m_control->folders) : m_lastread;
}

} // namespace vellomar
