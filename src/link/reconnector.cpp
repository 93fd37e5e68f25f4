#include "link/reconnector.h"

#include "link/deviceidentity.h"
#include "link/modulelink.h"
#include "link/portwatcher.h"

#include <QPointer>
#include <QTimer>

#include <utility>

namespace lumavera {

Reconnector::Reconnector(ModuleLink *link, PortWatcher *watcher, QObject *parent)
    : QObject(parent), link_(link), watcher_(watcher), retry_(new QTimer(this))
{
    retry_->setSingleShot(true);
    retry_->setInterval(RetryMs);
    connect(link_, &ModuleLink::lost, this, &Reconnector::onLost);
    connect(watcher, &PortWatcher::changed, this, &Reconnector::look);
    connect(retry_, &QTimer::timeout, this, &Reconnector::look);
}

void Reconnector::opened(const QString &path)
{
    stop();
    serialNumber_ = DeviceSerialNumber(path);
}

bool Reconnector::stop()
{
    const bool was = awaiting();
    awaited_.clear();
    retry_->stop();
    if (std::exchange(opening_, false))
        link_->close();
    return was;
}

void Reconnector::onLost()
{
    awaited_ = link_->devicePath();
    lostAtNs_ = WallClockNs();
    watcher_->follow(awaited_);
    tries_ = 0;
    if (link_->isNetwork())
        retry_->start(NetworkRetryMs);
    emit waiting(awaited_);
}

Detached Reconnector::look()
{
    const bool network = link_->isNetwork();
    if (awaited_.isEmpty() || opening_ || link_->isOpen() ||
        (!network && !CameBack(awaited_, lostAtNs_, serialNumber_)))
        co_return;
    link_->setDevicePath(awaited_);
    opening_ = true;
    const QPointer<Reconnector> self(this);
    const OpenResult opened = co_await link_->open();
    // Called off: by the user taking over, or by this object's end.
    if (!self)
        co_return;
    opening_ = false;
    if (opened.fault == OpenFault::Stopped)
        co_return;
    if (!opened) {
        if (network) {
            retry_->start(NetworkRetryMs);
            co_return;
        }
        const bool again = ++tries_ <= Retries;
        if (again)
            retry_->start();
        emit refused(opened.reason, again);
        co_return;
    }
    const QString path = awaited_;
    awaited_.clear();
    tries_ = 0;
    emit reconnected(path);
}

} // namespace lumavera
