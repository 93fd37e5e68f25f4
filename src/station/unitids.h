#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace lumavera {

// The units' ids for a scripted line, one a line of a file, or of standard
// input as they come (a scanner's or a script's): each is told once, in
// order. Blank lines are passed over.
class UnitIdReader : public QObject
{
    Q_OBJECT

public:
    explicit UnitIdReader(QObject *parent = nullptr);

    // Reads `path` whole ("-": standard input, from now on); the reason when
    // it cannot be read, else empty.
    QString start(const QString &path);

signals:
    void unit(const QString &id);

private:
    void take(const QByteArray &bytes);

    QSocketNotifier *input_ = nullptr;
    QByteArray partial_;
};

} // namespace lumavera
