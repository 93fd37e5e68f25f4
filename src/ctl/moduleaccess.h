#pragma once

#include "link/handoff.h"
#include "link/modulelink.h"

#include <QString>

#include <functional>

// The steps a command of lumaveractl is made of, carried out either on a
// port of its own or by the window that holds the port already.
class ModuleAccess
{
public:
    virtual ~ModuleAccess() = default;

    virtual void setColor(const Rgb &colour) = 0;
    virtual void setMode(int position) = 0;
    virtual void setFade(int position) = 0;
    virtual void setHold(int position) = 0;
    virtual void storeSlot(int slot, const Rgb &colour) = 0;
    virtual SettingsOutcome read() = 0;
    virtual SaveOutcome save() = 0;

    // Whether the settings file was already kept up to date on the way (the
    // window's own handlers do that).
    virtual bool keepsSettingsFile() const = 0;

    // Each traffic line, for --verbose.
    std::function<void(const QString &line)> onTraffic;
};

// On a port this program opens itself; waits until the whole answer is there
// or the timeout ends.
class DirectAccess : public ModuleAccess
{
public:
    DirectAccess(const QString &device, int timeoutMs);

    bool open();
    QString openError() const { return link_.openError(); }

    void setColor(const Rgb &colour) override;
    void setMode(int position) override;
    void setFade(int position) override;
    void setHold(int position) override;
    void storeSlot(int slot, const Rgb &colour) override;
    SettingsOutcome read() override;
    SaveOutcome save() override;
    bool keepsSettingsFile() const override { return false; }

private:
    ModuleLink link_;
    qint64 openedAtNs_ = 0;
};

// Through the window that is connected to the device, over its local socket.
// A plain Unix socket: this program loads no Qt library beyond Core and
// SerialPort.
class WindowAccess : public ModuleAccess
{
public:
    WindowAccess() = default;
    ~WindowAccess() override;
    WindowAccess(const WindowAccess &) = delete;
    WindowAccess &operator=(const WindowAccess &) = delete;

    // Whether a window answers and holds `device`.
    bool attach(const QString &device);

    void setColor(const Rgb &colour) override;
    void setMode(int position) override;
    void setFade(int position) override;
    void setHold(int position) override;
    void storeSlot(int slot, const Rgb &colour) override;
    SettingsOutcome read() override;
    SaveOutcome save() override;
    bool keepsSettingsFile() const override { return true; }

private:
    HandoffReply call(HandoffRequest request);

    bool sendLine(const QByteArray &line);
    std::optional<QByteArray> readLine(int timeoutMs);

    int fd_ = -1;
    QByteArray pending_;
    QString device_;
};
