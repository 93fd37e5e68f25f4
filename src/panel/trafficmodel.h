#pragma once

#include "link/modulelink.h"
#include "link/trafficline.h"

#include <QAbstractTableModel>

#include <deque>
#include <vector>

class QTimer;

namespace lumavera {

// The traffic log's lines: the newest `Capacity` events, oldest first, and a
// first line that counts those that dropped off. Events come in through
// append() and reach the view in batches, so that a module flooding the line
// costs one update every few tens of milliseconds, not one per event.
class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int Capacity = 10000;
    // What a person reads first comes first: when, which way, what it means,
    // then the bytes.
    enum Column { Time, Direction, Meaning, Hex, Ascii, ColumnCount };

    explicit TrafficModel(QObject *parent = nullptr);

    void append(const TrafficEvent &event);
    // Shows what append() has gathered now, rather than at the next batch.
    void flush();
    void clear();

    void setTimeStyle(TrafficTime style);
    TrafficTime timeStyle() const { return time_; }

    // The lines as the log shows them, each as one line of text: the whole
    // log, or the given rows.
    QStringList lines() const;
    QStringList lines(const QList<int> &rows) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Entry
    {
        TrafficEvent event;
        qint64 openedAtNs; // when the connection it belongs to was opened
    };

    bool hasDropLine() const { return dropped_ > 0; }
    QString dropLine() const;
    QString cell(const Entry &entry, int column) const;
    QString lineOf(int row) const;

    std::deque<Entry> entries_;
    std::vector<Entry> pending_;
    qint64 dropped_ = 0;
    qint64 openedAtNs_ = 0;
    TrafficTime time_ = TrafficTime::SinceOpen;
    QTimer *batch_;
};

} // namespace lumavera
