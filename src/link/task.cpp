#include "link/task.h"

namespace lumavera {

namespace {

Detached finishWithLoop(Task<int> work, int &status)
{
    status = co_await std::move(work);
    QCoreApplication::exit(status);
}

Detached finishWithThread(Task<> work, QThread *thread)
{
    co_await std::move(work);
    thread->quit();
}

} // namespace

int RunInEventLoop(Task<int> work)
{
    int status = 0;
    // Begun from inside the loop: work that ends without waiting would
    // otherwise ask a loop to end that has not begun.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { finishWithLoop(std::move(work), status); },
        Qt::QueuedConnection);
    QCoreApplication::exec();
    return status;
}

TaskThread::TaskThread(std::function<Task<>()> work, QObject *parent)
    : QThread(parent), work_(std::move(work))
{
}

void TaskThread::run()
{
    QObject context;
    QMetaObject::invokeMethod(
        &context, [this] { finishWithThread(work_(), this); }, Qt::QueuedConnection);
    exec();
}

} // namespace lumavera
