#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace vellomar {

// Takes the SHA-256 of dug files on threads of their own, so that summing one file overlaps
// copying or comparing the next. Summing costs more than comparing two copies, so where there
// are two cores two files are summed at once.
class FileSummer
{
  public:
    // `threads` 0: one per core, at most two.
    explicit FileSummer(int threads = 0);
    // Finishes what it holds first.
    ~FileSummer();
    FileSummer(const FileSummer &) = delete;
    FileSummer &operator=(const FileSummer &) = delete;

    // Sums the first `size` bytes of the open file `fd`, which it takes over and closes, into
    // `*out` (lower-case hex; empty when they cannot all be read). `*out` must stay where it is
    // until wait() returns. Waits while many files are queued: each holds a descriptor.
    // Returns the file's ticket, counting from 1 in the order files are added.
    qint64 add(int fd, long long size, QByteArray *out);
    // Returns when every file added has its sum.
    void wait();
    // Whether the file of `ticket` has its sum; waitfor() returns once it has.
    bool done(qint64 ticket);
    void waitfor(qint64 ticket);

  private:
    struct Job {
        int fd;
        long long size;
        QByteArray *out;
        qint64 ticket;
    };
    bool summed(qint64 ticket) const;
    void run();

    std::mutex m_mutex;
    // Apart, so that each change wakes only those it concerns: summers for a job, the adder for
    // room, the waiters for a sum.
    std::condition_variable m_work, m_room, m_summedchange;
    std::deque<Job> m_jobs;
    int m_busy = 0; // jobs taken and not yet done
    qint64 m_added = 0;
    // Every ticket up to m_summed has its sum; those beyond it that have one, since two threads
    // may finish out of order.
    qint64 m_summed = 0;
    std::set<qint64> m_summedbeyond;
    bool m_ending = false;
    std::vector<std::thread> m_threads;
};

} // namespace vellomar
