#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <coroutine>
#include <functional>
#include <optional>
#include <utility>

namespace lumavera {

// Work that waits for the line without a second event loop: C++20
// coroutines over Qt's one loop. A Task runs when it is awaited and resumes
// its awaiter when it ends; a Detached coroutine (an event's handler) starts
// at once and owns itself. What wakes a waiting coroutine is an event of
// the loop it runs in: a timer, a byte that came, a request.

namespace task {

struct PromiseBase
{
    std::coroutine_handle<> awaiter;

    std::suspend_always initial_suspend() noexcept { return {}; }
    struct Final
    {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> done) noexcept
        {
            const std::coroutine_handle<> next = done.promise().awaiter;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    Final final_suspend() noexcept { return {}; }
    // Nothing here throws on purpose; an exception that escapes is a fault,
    // said as one.
    void unhandled_exception() noexcept { qFatal("An exception escaped a coroutine."); }
};

template <typename T> struct Promise : PromiseBase
{
    std::optional<T> value;
    void return_value(T v) { value = std::move(v); }
    T take() { return std::move(*value); }
};

template <> struct Promise<void> : PromiseBase
{
    void return_void() {}
    void take() {}
};

} // namespace task

template <typename T = void> class [[nodiscard]] Task
{
public:
    struct promise_type : task::Promise<T>
    {
        Task get_return_object()
        {
            return Task(std::coroutine_handle<promise_type>::from_promise(*this));
        }
    };

    Task(Task &&other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task &operator=(Task &&) = delete;
    ~Task()
    {
        if (handle_)
            handle_.destroy();
    }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiter) noexcept
    {
        // A task runs once: awaited again (or moved from), it has no work
        // to resume, and would resume freed memory.
        if (!handle_ || handle_.done() || handle_.promise().awaiter)
            qFatal("A Task was awaited twice.");
        handle_.promise().awaiter = awaiter;
        return handle_;
    }
    T await_resume() { return handle_.promise().take(); }

private:
    explicit Task(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
    std::coroutine_handle<promise_type> handle_;
};

// A handler that starts at once and is freed when it ends. Whoever may wake
// it must wake it before going away (see Waiter).
struct Detached
{
    struct promise_type
    {
        Detached get_return_object() noexcept { return {}; }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { qFatal("An exception escaped an event's handler."); }
    };
};

// Where one coroutine waits until whoever holds this wakes it.
class Waiter
{
public:
    Waiter() = default;
    // Whoever waits here is woken before this goes: gone with a coroutine
    // waiting, it would never resume.
    ~Waiter()
    {
        if (handle_)
            qFatal("A Waiter went away while a coroutine waited on it.");
    }
    Waiter(const Waiter &) = delete;
    Waiter &operator=(const Waiter &) = delete;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) noexcept { handle_ = handle; }
    void await_resume() const noexcept {}

    bool waiting() const { return bool(handle_); }
    // Resumes the coroutine now, on this stack.
    void wake()
    {
        if (const std::coroutine_handle<> handle = std::exchange(handle_, {}))
            handle.resume();
    }

private:
    std::coroutine_handle<> handle_;
};

// Runs `work` in this thread's event loop until it ends; its result. The
// loop is QCoreApplication's own.
int RunInEventLoop(Task<int> work);

// A thread that runs one task in its own event loop and ends with it.
class TaskThread : public QThread
{
public:
    explicit TaskThread(std::function<Task<>()> work, QObject *parent = nullptr);

protected:
    void run() override;

private:
    std::function<Task<>()> work_;
};

} // namespace lumavera
