#include "panel/trafficmodel.h"

#include <QDateTime>
#include <QTimer>

namespace lumavera {

TrafficModel::TrafficModel(QObject *parent) : QAbstractTableModel(parent), batch_(new QTimer(this))
{
    batch_->setSingleShot(true);
    batch_->setInterval(50);
    connect(batch_, &QTimer::timeout, this, &TrafficModel::flush);
}

void TrafficModel::append(const TrafficEvent &event)
{
    if (event.kind == TrafficEvent::Kind::Opened)
        openedAtNs_ = event.atNs;
    pending_.push_back({event, openedAtNs_});
    // More than a whole log's worth waiting: the oldest would drop anyway.
    if (pending_.size() > std::size_t(Capacity)) {
        const std::size_t extra = pending_.size() - std::size_t(Capacity);
        pending_.erase(pending_.begin(), pending_.begin() + qsizetype(extra));
        dropped_ += qint64(extra);
    }
    if (!batch_->isActive())
        batch_->start();
}

void TrafficModel::flush()
{
    batch_->stop();
    if (pending_.empty())
        return;
    const bool hadDropLine = hasDropLine();
    const qint64 overflow = qint64(entries_.size() + pending_.size()) - Capacity;
    if (overflow > 0) {
        const int offset = hadDropLine ? 1 : 0;
        const qint64 gone = std::min<qint64>(overflow, qint64(entries_.size()));
        if (gone > 0) {
            beginRemoveRows({}, offset, offset + int(gone) - 1);
            entries_.erase(entries_.begin(), entries_.begin() + gone);
            endRemoveRows();
        }
        dropped_ += gone;
    }
    if (!hadDropLine && hasDropLine()) {
        beginInsertRows({}, 0, 0);
        endInsertRows();
    } else if (hasDropLine()) {
        emit dataChanged(index(0, 0), index(0, ColumnCount - 1));
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + int(pending_.size()) - 1);
    entries_.insert(entries_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    endInsertRows();
}

void TrafficModel::clear()
{
    beginResetModel();
    entries_.clear();
    pending_.clear();
    dropped_ = 0;
    endResetModel();
}

void TrafficModel::setTimeStyle(TrafficTime style)
{
    time_ = style;
    if (rowCount() > 0)
        emit dataChanged(index(0, Time), index(rowCount() - 1, Time));
}

QString TrafficModel::dropLine() const
{
    return dropped_ == 1 ? tr("1 older line dropped off the log")
                         : tr("%1 older lines dropped off the log").arg(dropped_);
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(entries_.size()) + (hasDropLine() ? 1 : 0);
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TrafficModel::cell(const Entry &e, int column) const
{
    switch (column) {
    case Time:
        return time_ == TrafficTime::WallClock
                   ? QDateTime::fromMSecsSinceEpoch(e.event.wallMs)
                         .toString(QStringLiteral("HH:mm:ss.zzz"))
                   : QString::number(double(e.event.atNs - e.openedAtNs) / 1e6, 'f', 3);
    case Direction:
        return TrafficDirection(e.event.kind);
    case Hex:
        return TrafficHex(e.event.bytes);
    case Ascii:
        return e.event.bytes.isEmpty() ? QString() : PrintableAscii(e.event.bytes);
    case Meaning:
        return e.event.note;
    }
    return {};
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (hasDropLine() && index.row() == 0)
        return index.column() == Meaning ? QVariant(dropLine()) : QVariant();
    const int at = index.row() - (hasDropLine() ? 1 : 0);
    if (at < 0 || at >= int(entries_.size()))
        return {};
    return cell(entries_[std::size_t(at)], index.column());
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Time:
        return time_ == TrafficTime::WallClock ? tr("Time") : tr("ms");
    case Direction:
        return tr("Dir");
    case Hex:
        return tr("Bytes (hex)");
    case Ascii:
        return tr("ASCII");
    case Meaning:
        return tr("Meaning");
    }
    return {};
}

QString TrafficModel::lineOf(int row) const
{
    if (hasDropLine() && row == 0)
        return dropLine();
    const Entry &e = entries_[std::size_t(row - (hasDropLine() ? 1 : 0))];
    return TrafficLine(e.event, e.openedAtNs, time_);
}

QStringList TrafficModel::lines() const
{
    QStringList all;
    all.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        all << lineOf(row);
    return all;
}

QStringList TrafficModel::lines(const QList<int> &rows) const
{
    QStringList some;
    for (int row : rows) {
        if (row >= 0 && row < rowCount())
            some << lineOf(row);
    }
    return some;
}

} // namespace lumavera
