#pragma once

#include "link/handoff.h"
#include "link/modulelink.h"
#include "link/modulesession.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace lumavera {

// The road a command of lumaveractl takes to the module: a port of its own,
// or the window that holds the port already. Either way a step runs through
// a module session, with the same outcome, timeout and reasons.
class ModuleAccess
{
public:
    virtual ~ModuleAccess() = default;
    virtual Task<StepOutcome> run(ModuleStep step) = 0;
    // A pause between frames; false once stopped (or the port went away).
    virtual Task<bool> pause(int ms);
    // Done once what was sent has reached the module, before the command
    // says it was done.
    virtual Task<StepOutcome> confirmDelivered();

    // Ends the step under way and every wait at once, and refuses the steps
    // after it: each ends as stopped (a signal to the program, as Ctrl+C).
    void stop();
    bool stopped() const { return stopped_; }

    // Each traffic line, for --verbose.
    std::function<void(const QString &line)> onTraffic;

protected:
    // Wakes what waits, as its last act: a woken step may end the command.
    virtual void endWaits();
    // A step's outcome once stopped: stopped, unless it was done.
    StepOutcome unlessStopped(const StepOutcome &out) const;
    static StepOutcome StoppedOutcome();

private:
    bool stopped_ = false;
    Waiter *pausing_ = nullptr;
    std::shared_ptr<void> alive_ = std::make_shared<int>(0);
};

// On a port this program opens itself; waits until the whole answer is there
// or the timeout ends.
class DirectAccess : public ModuleAccess
{
public:
    DirectAccess(const QString &device, int timeoutMs);

    // Nothing goes to a line another program has open, nor is a setting of
    // its line touched: the look comes before the first byte of any step.
    // A line on another machine is asked with the read command first; a
    // server that says another client has the line refuses the port.
    Task<OpenResult> open();
    Task<StepOutcome> run(ModuleStep step) override;
    Task<bool> pause(int ms) override;
    Task<StepOutcome> confirmDelivered() override;

private:
    void endWaits() override { link_.endWaits(); }
    ModuleLink link_;
    ModuleSession session_;
    std::optional<StepOutcome> firstRead_;
};

// Through the window that is connected to the device, over its local socket.
// A plain Unix socket: this program loads no Qt library beyond Core and
// SerialPort.
class WindowAccess : public ModuleAccess
{
public:
    explicit WindowAccess(int timeoutMs) : timeoutMs_(timeoutMs) {}
    ~WindowAccess() override;
    WindowAccess(const WindowAccess &) = delete;
    WindowAccess &operator=(const WindowAccess &) = delete;

    // Whether a window of this user answers and holds `device`.
    bool attach(const QString &device);
    Task<StepOutcome> run(ModuleStep step) override;

private:
    HandoffReply call(const HandoffRequest &request);
    // How long a window has for a probe at the least, and beyond a step's
    // own timeout for the exchange it may have to wait behind.
    static constexpr int ProbeMinimumMs = 200;
    static constexpr int QueueAllowanceMs = 1000;

    bool sendLine(const QByteArray &line, int timeoutMs);
    std::optional<QByteArray> readLine(int timeoutMs);

    int timeoutMs_;
    int fd_ = -1;
    QByteArray pending_;
    QString device_;
};

} // namespace lumavera
