#include "output/worker_thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct WorkerThread::Shared
{
    std::mutex mutex;
    std::condition_variable wake;    // the thread: there is a task, or it is to end
    std::condition_variable settled; // the callers: a task has run
    std::deque<std::function<void()>> tasks;
    quint64 posted = 0;
    quint64 done = 0;
    bool ending = false;
};

namespace {

constexpr auto kSlice = std::chrono::milliseconds(5);

} // namespace

WorkerThread::WorkerThread() : shared_(std::make_shared<Shared>())
{
    // The thread holds the queue as long as it runs; nothing else of this object's.
    std::thread([shared = shared_] {
        std::unique_lock lock(shared->mutex);
        for (;;) {
            shared->wake.wait(lock, [&] { return !shared->tasks.empty() || shared->ending; });
            if (shared->tasks.empty())
                return;
            std::function<void()> task = std::move(shared->tasks.front());
            shared->tasks.pop_front();
            lock.unlock();
            task();
            task = nullptr; // what the task holds goes here, not under the lock
            lock.lock();
            ++shared->done;
            shared->settled.notify_all();
        }
    }).detach();
}

WorkerThread::~WorkerThread()
{
    const std::lock_guard lock(shared_->mutex);
    shared_->ending = true;
    shared_->wake.notify_one();
}

quint64 WorkerThread::post(std::function<void()> task)
{
    const std::lock_guard lock(shared_->mutex);
    if (shared_->ending)
        return 0;
    shared_->tasks.push_back(std::move(task));
    shared_->wake.notify_one();
    return ++shared_->posted;
}

quint64 WorkerThread::finish(std::function<void()> last)
{
    const quint64 number = post(std::move(last));
    const std::lock_guard lock(shared_->mutex);
    shared_->ending = true;
    shared_->wake.notify_one();
    return number;
}

WorkerThread::Wait WorkerThread::waitFor(quint64 number, const QDeadlineTimer& deadline,
                                         const std::function<void()>& pump, const std::function<bool()>& stop) const
{
    for (;;) {
        {
            std::unique_lock lock(shared_->mutex);
            if (shared_->settled.wait_for(lock, kSlice, [&] { return shared_->done >= number; }))
                return Wait::Done;
        }
        if (stop && stop())
            return Wait::Stopped;
        if (deadline.hasExpired())
            return Wait::TimedOut;
        if (pump)
            pump();
    }
}
