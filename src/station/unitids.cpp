#include "station/unitids.h"

#include "station/texts.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace lumavera {

UnitIdReader::UnitIdReader(QObject *parent) : QObject(parent) {}

QString UnitIdReader::start(const QString &path)
{
    if (path != QLatin1String("-")) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return StationTexts::tr("%1 could not be read: %2").arg(path, file.errorString());
        take(file.readAll() + '\n');
        return {};
    }
    // Standard input is read as it comes, a line at a time: a scanner, or a
    // script that learns the next unit as it goes.
    input_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(input_, &QSocketNotifier::activated, this, [this] {
        char bytes[4096];
        const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0) {
            // The end: a last line without its newline still counts.
            input_->setEnabled(false);
            take(QByteArrayLiteral("\n"));
            return;
        }
        take(QByteArray(bytes, n));
    });
    return {};
}

void UnitIdReader::take(const QByteArray &bytes)
{
    partial_ += bytes;
    // A line far longer than any id is no id: cut, so that nothing grows
    // without bound.
    constexpr qsizetype Longest = 256;
    for (qsizetype end; (end = partial_.indexOf('\n')) >= 0;) {
        const QString id = QString::fromUtf8(partial_.first(end)).trimmed().left(Longest);
        partial_.remove(0, end + 1);
        if (!id.isEmpty())
            emit unit(id);
    }
    if (partial_.size() > Longest)
        partial_.truncate(Longest);
}

} // namespace lumavera
