#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <sys/inotify.h>
#include <unistd.h>

// Counts what the kernel reports happening to one file in its folder: how
// often it was opened, and how often something was renamed onto it.
class FileWatch
{
public:
    explicit FileWatch(const QString &path) : name_(QFile::encodeName(QFileInfo(path).fileName()))
    {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(fd_, QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                            IN_OPEN | IN_MOVED_TO);
    }
    ~FileWatch() { ::close(fd_); }
    FileWatch(const FileWatch &) = delete;
    FileWatch &operator=(const FileWatch &) = delete;

    struct Counts
    {
        int opens = 0;
        int renames = 0;
    };

    // What happened since the last call.
    Counts take()
    {
        Counts counts;
        alignas(inotify_event) char buf[8192];
        ssize_t n;
        while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
            for (char *p = buf; p < buf + n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(p);
                if (e->len > 0 && name_ == e->name) {
                    counts.opens += (e->mask & IN_OPEN) ? 1 : 0;
                    counts.renames += (e->mask & IN_MOVED_TO) ? 1 : 0;
                }
                p += sizeof(inotify_event) + e->len;
            }
        }
        return counts;
    }

private:
    int fd_ = -1;
    QByteArray name_;
};
