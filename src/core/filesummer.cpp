#include "filesummer.h"

#include "filecopy.h"

#include <unistd.h>

namespace vellomar {

namespace {
constexpr size_t mostqueued = 16;
}

FileSummer::FileSummer() : m_thread([this] { run(); }) {}

FileSummer::~FileSummer()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

qint64 FileSummer::add(int fd, long long size, QByteArray *out)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.size() < mostqueued; });
    m_jobs.push_back({fd, size, out});
    const qint64 ticket = ++m_added;
    lock.unlock();
    m_changed.notify_all();
    return ticket;
}

bool FileSummer::done(qint64 ticket)
{
    std::lock_guard lock(m_mutex);
    return m_summed >= ticket;
}

void FileSummer::waitfor(qint64 ticket)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this, ticket] { return m_summed >= ticket; });
}

void FileSummer::wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void FileSummer::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_jobs.empty() || m_ending; });
        if (m_jobs.empty())
            return; // ending, with nothing left
        const Job job = m_jobs.front();
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        m_changed.notify_all();
        QByteArray sum = sumfile(job.fd, job.size);
        ::close(job.fd);
        lock.lock();
        *job.out = std::move(sum);
        ++m_summed;
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace vellomar
