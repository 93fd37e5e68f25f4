#include "link/deviceholder.h"
#include "link/texts.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lumavera {

namespace {

// The devices one process has open: what its descriptors link to under
// /dev, and the pseudo-terminals whose other side (/dev/ptmx) it holds.
struct ProcessDevices
{
    pid_t pid = 0;
    QList<QByteArray> devices;
    QList<QByteArray> farEnds;
};

struct Snapshot
{
    std::vector<ProcessDevices> processes;
    int unseen = 0;
};

// Calls `each` with every name in the open folder but "." and "..", read
// with getdents64 straight into one buffer (no DIR, no duplicate of the
// descriptor); `each` returning false ends the reading.
template <typename Each> void forEachName(int folder, Each each)
{
    alignas(8) char buffer[16384];
    for (;;) {
        const ssize_t n = ::getdents64(folder, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            if (entry->d_name[0] != '.' && !each(entry->d_name))
                return;
        }
        // /proc fills the buffer as far as its entries go: room left over
        // for a whole entry more means the folder has none.
        if (size_t(n) + 2 * sizeof(dirent64) < sizeof buffer)
            return;
    }
}

std::vector<int> processIds(int proc)
{
    std::vector<int> pids;
    const pid_t self = ::getpid();
    forEachName(proc, [&](const char *name) {
        if (name[0] >= '0' && name[0] <= '9') {
            const int pid = std::atoi(name);
            if (pid != self)
                pids.push_back(pid);
        }
        return true;
    });
    return pids;
}

// What a look wants: the devices it asks after (real paths), or every
// device when it looks ahead, before it knows which.
struct Wanted
{
    QList<QByteArray> devices; // empty: all
    bool wants(const QByteArray &target) const
    {
        if (devices.isEmpty())
            return target.startsWith("/dev/") && target != "/dev/null";
        return devices.contains(target);
    }
};

QByteArray ttyOfMaster(int proc, const char *pid, const char *fd)
{
    const QByteArray path = QByteArray(pid) + "/fdinfo/" + fd;
    const int info = ::openat(proc, path.constData(), O_RDONLY | O_CLOEXEC);
    if (info < 0)
        return {};
    char text[512];
    const ssize_t n = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (n <= 0)
        return {};
    const QByteArray all(text, n);
    const qsizetype at = all.indexOf("tty-index:\t");
    return at < 0 ? QByteArray() : "/dev/pts/" + all.mid(at + 11).split('\n').first();
}

// One process's wanted devices; false when its files cannot be seen.
bool devicesOf(int proc, int pid, const Wanted &wanted, ProcessDevices &out)
{
    char pidName[16];
    std::snprintf(pidName, sizeof pidName, "%d", pid);
    char fdPath[24];
    std::snprintf(fdPath, sizeof fdPath, "%d/fd", pid);
    const int fds = ::openat(proc, fdPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A regular user may not see other users' open files (root sees them
    // all): such a process is counted as unseen. One that is gone is none.
    if (fds < 0)
        return errno != EACCES && errno != EPERM;
    out.pid = pid;
    forEachName(fds, [&](const char *fd) {
        // The link's own text: a device that went away reads
        // "/dev/pts/5 (deleted)" and is not the device of that name now.
        char buf[256];
        const ssize_t n = ::readlinkat(fds, fd, buf, sizeof buf - 1);
        if (n <= 0)
            return true;
        const QByteArray target(buf, n);
        if (target == "/dev/ptmx" || target == "/dev/pts/ptmx") {
            if (const QByteArray tty = ttyOfMaster(proc, pidName, fd); !tty.isEmpty())
                out.farEnds << tty;
        } else if (wanted.wants(target)) {
            out.devices << target;
        }
        return true;
    });
    ::close(fds);
    return true;
}

// Whether the process holds `device` as a competitor: the far end of a
// pseudo-terminal holds its other side too, as the line's partner.
bool competes(const ProcessDevices &process, const QByteArray &device)
{
    return process.devices.contains(device) && !process.farEnds.contains(device);
}

// Looks through every process, split over the cores; with `wanted` naming
// devices, only processes holding one are kept, and the look ends once each
// has a holder.
Snapshot scan(const Wanted &wanted, const std::atomic_bool *cancel)
{
    Snapshot snapshot;
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return snapshot;
    const std::vector<int> pids = processIds(proc);
    std::atomic_bool found{false};
    std::mutex merge;
    QList<QByteArray> held;
    const auto work = [&](size_t first, size_t step) {
        Snapshot mine;
        for (size_t i = first; i < pids.size(); i += step) {
            if ((cancel && *cancel) || found)
                break;
            ProcessDevices process;
            if (!devicesOf(proc, pids[i], wanted, process)) {
                ++mine.unseen;
                continue;
            }
            if (process.devices.isEmpty())
                continue;
            if (!wanted.devices.isEmpty()) {
                std::lock_guard lock(merge);
                for (const QByteArray &device : wanted.devices)
                    if (competes(process, device) && !held.contains(device))
                        held << device;
                if (held.size() == wanted.devices.size())
                    found = true;
            }
            mine.processes.push_back(std::move(process));
        }
        std::lock_guard lock(merge);
        snapshot.unseen += mine.unseen;
        for (ProcessDevices &p : mine.processes)
            snapshot.processes.push_back(std::move(p));
    };
    // Threads pay off only where there is much to look through.
    const size_t threads =
        pids.size() < 256 ? 1 : std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work, t, threads);
    work(0, threads);
    for (std::thread &helper : helpers)
        helper.join();
    ::close(proc);
    return snapshot;
}

HolderLook holdersIn(const Snapshot &snapshot, const QMap<QByteArray, QString> &realToPath)
{
    HolderLook look;
    look.unseen = snapshot.unseen;
    // In the order of the processes' ids, as one look through /proc finds
    // them, whichever thread saw them.
    std::vector<const ProcessDevices *> order;
    for (const ProcessDevices &p : snapshot.processes)
        order.push_back(&p);
    std::sort(order.begin(), order.end(), [](auto *a, auto *b) { return a->pid < b->pid; });
    for (const ProcessDevices *process : order) {
        for (auto it = realToPath.begin(); it != realToPath.end(); ++it) {
            if (!look.holders.contains(it.value()) && competes(*process, it.key()))
                look.holders.insert(it.value(), ProcessLabel(process->pid));
        }
    }
    return look;
}

std::mutex aheadMutex;
std::shared_ptr<HolderLookAhead::Scan> ahead;

QByteArray realDevice(const QString &path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? QByteArray() : QFile::encodeName(real);
}

} // namespace

struct HolderLookAhead::Scan
{
    std::atomic_bool cancel{false};
    Snapshot result;
    std::thread worker;
    std::mutex joining;
    void join()
    {
        std::lock_guard lock(joining);
        if (worker.joinable())
            worker.join();
    }
};

HolderLookAhead::HolderLookAhead() : scan_(std::make_shared<Scan>())
{
    Scan *scan = scan_.get();
    scan->worker = std::thread([scan] { scan->result = lumavera::scan({}, &scan->cancel); });
    std::lock_guard lock(aheadMutex);
    ahead = scan_;
}

HolderLookAhead::~HolderLookAhead()
{
    {
        std::lock_guard lock(aheadMutex);
        if (ahead == scan_)
            ahead.reset();
    }
    scan_->cancel = true;
    scan_->join();
}

HolderLook LookForHolders(const QStringList &paths, const std::atomic_bool *cancel)
{
    QMap<QByteArray, QString> realToPath;
    for (const QString &path : paths) {
        if (const QByteArray real = realDevice(path); !real.isEmpty())
            realToPath.insert(real, path);
    }
    std::shared_ptr<HolderLookAhead::Scan> begun;
    {
        std::lock_guard lock(aheadMutex);
        begun = std::exchange(ahead, nullptr);
    }
    if (begun) {
        begun->join();
        return holdersIn(begun->result, realToPath);
    }
    if (realToPath.isEmpty())
        return {};
    return holdersIn(scan({realToPath.keys()}, cancel), realToPath);
}

QMap<QString, QString> DeviceHolders(const QStringList &paths, const std::atomic_bool *cancel)
{
    return LookForHolders(paths, cancel).holders;
}

QString DeviceHolder(const QString &path, const std::atomic_bool *cancel)
{
    return DeviceHolders({path}, cancel).value(path);
}

QString ProcessLabel(int pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.read(64)).trimmed()
                             : LinkTexts::tr("another program");
    // The real user, which /proc/PID/status shows of every process.
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.read(4096) : QByteArray();
    const qsizetype at = text.indexOf("\nUid:\t");
    bool ok = false;
    const uint uid = at < 0 ? 0 : text.mid(at + 6).split('\t').first().toUInt(&ok);
    if (ok && uid != ::getuid()) {
        const passwd *user = ::getpwuid(uid);
        return LinkTexts::tr("%1 (pid %2, user %3)")
            .arg(name)
            .arg(pid)
            .arg(user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid));
    }
    return QStringLiteral("%1 (pid %2)").arg(name).arg(pid);
}

QString LockHolder(const QString &path)
{
    struct stat device
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &device) != 0)
        return {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return {};
    // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF", major and minor in
    // hexadecimal; a waiter's line has "->" after the number.
    const QByteArray inode = QByteArray::number(qulonglong(device.st_ino));
    const QByteArray where =
        QByteArray::number(::major(device.st_dev), 16).rightJustified(2, '0') + ':' +
        QByteArray::number(::minor(device.st_dev), 16).rightJustified(2, '0') + ':' + inode;
    const pid_t self = ::getpid();
    // /proc/locks says its size is 0: read to its end, never asking atEnd().
    const QByteArray all = locks.readAll();
    for (const QByteArray &line : all.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] == "->" || fields[5] != where)
            continue;
        const int pid = fields[4].toInt();
        if (pid == self)
            continue;
        return pid > 0 ? ProcessLabel(pid) : LinkTexts::tr("another program");
    }
    return {};
}

std::optional<bool> ProcessHolds(int pid, const QString &path)
{
    const QByteArray real = realDevice(path);
    const QByteArray fdPath = "/proc/" + QByteArray::number(pid) + "/fd";
    const int fds = ::open(fdPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fds < 0)
        return std::nullopt;
    bool holds = false;
    forEachName(fds, [&](const char *fd) {
        char buf[256];
        const ssize_t n = ::readlinkat(fds, fd, buf, sizeof buf - 1);
        holds = n > 0 && QByteArray(buf, n) == real;
        return !holds;
    });
    ::close(fds);
    return holds;
}

} // namespace lumavera
