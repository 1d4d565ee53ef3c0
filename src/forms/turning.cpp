#include "turning.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <thread>

namespace vellomar {

void turnuntil(const std::function<bool()> &done)
{
    // Not a nested QEventLoop: a quit asked for meanwhile ends those at once, and the wait must
    // still last until the work is done.
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void wake()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] {}, Qt::QueuedConnection);
}

void runturning(const std::function<void()> &work)
{
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished.store(true);
        wake();
    });
    turnuntil([&] { return finished.load(); });
    worker.join();
}

} // namespace vellomar
