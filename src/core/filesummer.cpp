#include "filesummer.h"

#include "filecopy.h"

#include <QThread>
#include <algorithm>
#include <unistd.h>

namespace vellomar {

namespace {
constexpr size_t mostqueued = 16;
constexpr int mostthreads = 2;
} // namespace

FileSummer::FileSummer(int threads)
{
    if (threads <= 0)
        threads = std::clamp(QThread::idealThreadCount(), 1, mostthreads);
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { run(); });
}

FileSummer::~FileSummer()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_work.notify_all();
    for (std::thread &t : m_threads)
        t.join();
}

qint64 FileSummer::add(int fd, long long size, QByteArray *out)
{
    std::unique_lock lock(m_mutex);
    m_room.wait(lock, [this] { return m_jobs.size() < mostqueued; });
    const qint64 ticket = ++m_added;
    m_jobs.push_back({fd, size, out, ticket});
    lock.unlock();
    m_work.notify_one();
    return ticket;
}

bool FileSummer::summed(qint64 ticket) const
{
    return ticket <= m_summed || m_summedbeyond.count(ticket) != 0;
}

bool FileSummer::done(qint64 ticket)
{
    std::lock_guard lock(m_mutex);
    return summed(ticket);
}

void FileSummer::waitfor(qint64 ticket)
{
    std::unique_lock lock(m_mutex);
    m_summedchange.wait(lock, [this, ticket] { return summed(ticket); });
}

void FileSummer::wait()
{
    std::unique_lock lock(m_mutex);
    m_summedchange.wait(lock, [this] { return m_jobs.empty() && m_busy == 0; });
}

void FileSummer::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return !m_jobs.empty() || m_ending; });
        if (m_jobs.empty())
            return; // ending, with nothing left
        const Job job = m_jobs.front();
        m_jobs.pop_front();
        ++m_busy;
        lock.unlock();
        m_room.notify_one();
        QByteArray sum = sumfile(job.fd, job.size);
        ::close(job.fd);
        lock.lock();
        *job.out = std::move(sum);
        m_summedbeyond.insert(job.ticket);
        while (!m_summedbeyond.empty() && *m_summedbeyond.begin() == m_summed + 1) {
            m_summedbeyond.erase(m_summedbeyond.begin());
            ++m_summed;
        }
        --m_busy;
        m_summedchange.notify_all();
    }
}

} // namespace vellomar
