#include "panel/portstatus.h"

#include "link/modulelink.h"
#include "link/portmap.h"
#include "link/portwatcher.h"
#include "link/reconnector.h"
#include "panel/portlist.h"
#include "settings/ini.h"
#include "settings/settings.h"

#include <QComboBox>
#include <QFileInfo>

namespace lumavera {

PortStatus::PortStatus(QComboBox *list, ModuleLink *link, std::function<QString()> commPort,
                       QObject *parent)
    : QObject(parent), list_(list), link_(link), commPort_(std::move(commPort)),
      watcher_(new PortWatcher(this)), reconnector_(new Reconnector(link, watcher_, this))
{
    connect(watcher_, &PortWatcher::changed, this, &PortStatus::refresh);
    connect(reconnector_, &Reconnector::waiting, this, &PortStatus::onWaiting);
    connect(reconnector_, &Reconnector::refused, this, &PortStatus::onRefused);
    connect(reconnector_, &Reconnector::reconnected, this, &PortStatus::onReconnected);
}

void PortStatus::opened(const QString &path)
{
    reconnector_->opened(path);
}

void PortStatus::stopReconnect()
{
    if (reconnector_->stop())
        emit said({});
}

void PortStatus::refresh()
{
    const Settings settings = SettingsStore(IniPath()).load();
    watcher_->setPins(settings.pins);
    const PortListing listing = ListPorts(settings.pins, true);
    const QString own = link_->isOpen() ? link_->devicePath() : QString();
    QComboBox *list = list_;
    for (int i = 0; i < list->count() && i < int(listing.size()); ++i) {
        const PortInfo &port = listing[std::size_t(i)];
        list->setItemData(i, PortSummary(port, own), Qt::ToolTipRole);
        PortItemDelegate::showDevice(list, i, QFileInfo(port.entry.path).fileName());
    }
    emit refreshed();
}

void PortStatus::onWaiting(const QString &path)
{
    emit connectionShown(false);
    // The port list follows once the device's name goes, as the watcher
    // reports: one look through the system's ports, not two.
    // The line above names the address already; two lines hold the rest.
    if (link_->isNetwork())
        emit said(tr("COM%1: %2 It reconnects when the server answers.")
                      .arg(commPort_(), link_->lossReason().isEmpty() ? tr("the connection ended.")
                                                                      : link_->lossReason()));
    else
        emit said(tr("COM%1 (%2) was unplugged or closed; it reconnects when it returns.")
                      .arg(commPort_(), path));
}

void PortStatus::onRefused(const QString &reason, bool tryingAgain)
{
    emit said(tryingAgain
                  ? tr("COM%1 is back but did not open: %2 Trying again.").arg(commPort_(), reason)
                  : tr("COM%1 is back but did not open: %2 Press Connect "
                       "to try again.")
                        .arg(commPort_(), reason));
}

void PortStatus::onReconnected(const QString &path)
{
    emit said(tr("Reconnected to COM%1 (%2).").arg(commPort_(), path));
    emit connectionShown(true);
}

} // namespace lumavera
