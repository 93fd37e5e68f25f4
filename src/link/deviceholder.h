#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>

namespace lumavera {

// Which other program holds a serial device open.

// A program as the user is told of it: "NAME (pid N)", and "NAME (pid N,
// user U)" when it runs as another user.
QString ProcessLabel(int pid);

// What one look through /proc found for some devices.
struct HolderLook
{
    // Each device another program holds open, with that program.
    QMap<QString, QString> holders;
    // Processes of other users whose open files this user may not see: one
    // of them may hold a device that shows no holder here.
    int unseen = 0;
};

// Looks through /proc for other programs holding any of `paths`, split over
// the cores, ending at the first holder of each (or once `cancel` is set).
// A look started ahead (LookAheadForHolders) answers the first call.
HolderLook LookForHolders(const QStringList &paths, const std::atomic_bool *cancel = nullptr);

// The other program that holds the device open, as "NAME (pid N)"; empty when
// no other process does (or /proc does not tell).
QString DeviceHolder(const QString &path, const std::atomic_bool *cancel = nullptr);

// The same for several devices in one look through /proc.
QMap<QString, QString> DeviceHolders(const QStringList &paths,
                                     const std::atomic_bool *cancel = nullptr);

// The program holding an flock() or fcntl() lock on the device, from
// /proc/locks, which shows those of every user; empty when there is none.
QString LockHolder(const QString &path);

// Whether the process has the device open: nullopt where its open files
// cannot be seen (another user's, or gone).
std::optional<bool> ProcessHolds(int pid, const QString &path);

// A look through /proc begun at a one-shot program's start, beside what it
// does before its first open; the first look for holders takes it, so it is
// never older than the program's own start-up. Ends (joined) when dropped.
class HolderLookAhead
{
public:
    HolderLookAhead();
    ~HolderLookAhead();
    HolderLookAhead(const HolderLookAhead &) = delete;
    HolderLookAhead &operator=(const HolderLookAhead &) = delete;

    struct Scan;

private:
    std::shared_ptr<Scan> scan_;
};

// When an open looks for another program holding the device: not at all
// (the caller looks itself, as the station does), or before the open returns.
enum class HolderCheck { None, BeforeOpen };

} // namespace lumavera
