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
    m_changed.notify_all();
    for (std::thread &t : m_threads)
        t.join();
}

void FileSummer::add(int fd, long long size, QByteArray *out)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.size() < mostqueued; });
    m_jobs.push_back({fd, size, out});
    lock.unlock();
    m_changed.notify_all();
}

void FileSummer::wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && m_busy == 0; });
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
        ++m_busy;
        lock.unlock();
        m_changed.notify_all();
        QByteArray sum = sumfile(job.fd, job.size);
        ::close(job.fd);
        lock.lock();
        *job.out = std::move(sum);
        --m_busy;
        m_changed.notify_all();
    }
}

} // namespace vellomar
