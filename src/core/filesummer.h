#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vellomar {

// Takes the SHA-256 of dug files on a thread of its own, so that summing one file overlaps
// copying the next.
class FileSummer
{
  public:
    FileSummer();
    // Finishes what it holds first.
    ~FileSummer();
    FileSummer(const FileSummer &) = delete;
    FileSummer &operator=(const FileSummer &) = delete;

    // Sums the first `size` bytes of the open file `fd`, which it takes over and closes, into
    // `*out` (lower-case hex; empty when they cannot all be read). `*out` must stay where it is
    // until wait() returns. Waits while many files are queued: each holds a descriptor.
    // Returns the file's ticket: files are summed in the order they are added.
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
    };
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    qint64 m_added = 0, m_summed = 0;
    bool m_ending = false;
    std::thread m_thread;
};

} // namespace vellomar
