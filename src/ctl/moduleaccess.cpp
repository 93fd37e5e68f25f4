#include "ctl/moduleaccess.h"

#include "link/trafficline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

DirectAccess::DirectAccess(const QString &device, int timeoutMs)
{
    link_.setWaitPolicy(ModuleLink::WaitPolicy::UntilComplete, timeoutMs);
    link_.setDevicePath(device);
    QObject::connect(&link_, &ModuleLink::traffic, &link_, [this](const TrafficEvent &event) {
        if (event.kind == TrafficEvent::Kind::Opened)
            openedAtNs_ = event.atNs;
        if (onTraffic)
            onTraffic(TrafficLine(event, openedAtNs_, TrafficTime::SinceOpen));
    });
}

bool DirectAccess::open()
{
    return link_.open();
}

void DirectAccess::setColor(const Rgb &c)
{
    link_.send(SetColorBody(c.red, c.green, c.blue));
}

void DirectAccess::setMode(int position)
{
    link_.send(SetModeBody(std::uint8_t(position)));
}

void DirectAccess::setFade(int position)
{
    link_.send(SetFadeBody(std::uint8_t(position)));
}

void DirectAccess::setHold(int position)
{
    link_.send(SetHoldBody(std::uint8_t(position)));
}

void DirectAccess::storeSlot(int slot, const Rgb &c)
{
    link_.send(StoreSlotBody(slot, c.red, c.green, c.blue));
}

SettingsOutcome DirectAccess::read()
{
    return link_.ReadModuleSettings();
}

SaveOutcome DirectAccess::save()
{
    return link_.SaveToEeprom();
}

namespace {

HandoffRequest request(HandoffRequest::Op op, int value = 0, int slot = 0, Rgb colour = {})
{
    HandoffRequest r;
    r.op = op;
    r.value = value;
    r.slot = slot;
    r.colour = colour;
    return r;
}

} // namespace

WindowAccess::~WindowAccess()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool WindowAccess::attach(const QString &device)
{
    device_ = device;
    const QByteArray path = QFile::encodeName(HandoffSocketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return false;
    return call(request(HandoffRequest::Op::Probe)).handled;
}

bool WindowAccess::sendLine(const QByteArray &line)
{
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::send(fd_, line.constData() + done, size_t(line.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

std::optional<QByteArray> WindowAccess::readLine(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!pending_.contains('\n')) {
        const qint64 left = timeoutMs - clock.elapsed();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            return std::nullopt;
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return std::nullopt;
        pending_.append(buf, n);
    }
    const qsizetype end = pending_.indexOf('\n');
    const QByteArray line = pending_.left(end);
    pending_.remove(0, end + 1);
    return line;
}

HandoffReply WindowAccess::call(HandoffRequest request)
{
    request.device = device_;
    HandoffReply failed;
    failed.handled = false;
    failed.fault = ReplyFault::Aborted;
    failed.reason = QCoreApplication::translate("lumaveractl", "The window stopped answering.");
    if (fd_ < 0 || !sendLine(request.encode()))
        return failed;
    // The window answers once the step is done; a read waits its turn
    // behind the window's own exchange, so allow for several ticks.
    const std::optional<QByteArray> line = readLine(30000);
    const std::optional<HandoffReply> reply = line ? HandoffReply::decode(*line) : std::nullopt;
    if (!reply)
        return failed;
    if (onTraffic) {
        for (const QString &line : reply->traffic)
            onTraffic(line);
    }
    return *reply;
}

void WindowAccess::setColor(const Rgb &colour)
{
    call(request(HandoffRequest::Op::Color, 0, 0, colour));
}

void WindowAccess::setMode(int position)
{
    call(request(HandoffRequest::Op::Mode, position));
}

void WindowAccess::setFade(int position)
{
    call(request(HandoffRequest::Op::Fade, position));
}

void WindowAccess::setHold(int position)
{
    call(request(HandoffRequest::Op::Hold, position));
}

void WindowAccess::storeSlot(int slot, const Rgb &colour)
{
    call(request(HandoffRequest::Op::Store, 0, slot, colour));
}

SettingsOutcome WindowAccess::read()
{
    const HandoffReply reply = call(request(HandoffRequest::Op::Read));
    SettingsOutcome out;
    out.fault = reply.fault;
    out.reason = reply.reason;
    out.settings = reply.settings;
    return out;
}

SaveOutcome WindowAccess::save()
{
    const HandoffReply reply = call(request(HandoffRequest::Op::Save));
    SaveOutcome out;
    out.fault = reply.fault;
    out.reason = reply.reason;
    return out;
}
