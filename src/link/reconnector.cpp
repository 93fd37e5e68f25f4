#include "link/reconnector.h"

#include "link/deviceidentity.h"
#include "link/modulelink.h"
#include "link/portwatcher.h"

#include <QTimer>

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

void Reconnector::look()
{
    const bool network = link_->isNetwork();
    if (awaited_.isEmpty() || link_->isOpen() ||
        (!network && !CameBack(awaited_, lostAtNs_, serialNumber_)))
        return;
    link_->setDevicePath(awaited_);
    if (const OpenResult opened = link_->open(); !opened) {
        if (network) {
            retry_->start(NetworkRetryMs);
            return;
        }
        const bool again = ++tries_ <= Retries;
        if (again)
            retry_->start();
        emit refused(opened.reason, again);
        return;
    }
    const QString path = awaited_;
    awaited_.clear();
    tries_ = 0;
    emit reconnected(path);
}

} // namespace lumavera
