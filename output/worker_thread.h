#pragma once

#include <QDeadlineTimer>

#include <functional>
#include <memory>

// Runs blocking calls one after another on a thread of its own, so that the calling thread goes on
// processing its events while it waits for them, and can stop waiting at any time.
//
// The thread shares only its queue with this object, and each task brings what it works on (through a
// shared pointer, never a reference to the caller). A caller that stops waiting, or that goes away, leaves
// the thread to finish its current call and its last task on its own: the thread never touches the caller
// again, and ends by itself.
class WorkerThread
{
public:
    WorkerThread();
    // Without finish() before: no more tasks, and the thread ends after the one it runs.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Queues `task`; returns its number, which waitFor() takes. Ignored (returning 0) after finish().
    quint64 post(std::function<void()> task);
    // Runs `last` after every task queued so far and ends the thread; returns its number.
    quint64 finish(std::function<void()> last);

    enum class Wait { Done, TimedOut, Stopped };
    // Waits until task `number` and every one before it has run, in short slices: between two slices it
    // calls `pump` (may be empty) and asks `stop` (may be empty), and gives up when `deadline` has passed.
    // A task that has run wins over a stop or a deadline seen at the same time.
    Wait waitFor(quint64 number, const QDeadlineTimer& deadline, const std::function<void()>& pump,
                 const std::function<bool()>& stop) const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
