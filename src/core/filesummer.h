#pragma once

#include <QByteArray>
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
    void add(int fd, long long size, QByteArray *out);
    // Returns when every file added has its sum.
    void wait();

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
    bool m_ending = false;
    std::thread m_thread;
};

} // namespace vellomar
