#include "link/permissionadvice.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

QString PermissionAdvice(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return LinkTexts::tr("Permission denied for %1.").arg(path);
    const group *g = ::getgrgid(st.st_gid);
    if (!g)
        return LinkTexts::tr("Permission denied for %1.").arg(path);
    const QString groupName = QString::fromLocal8Bit(g->gr_name);
    const gid_t deviceGroup = st.st_gid;

    // Whether this login carries the group, and whether the user is listed
    // in it (the listing takes effect at the next login).
    std::vector<gid_t> current(std::size_t(::getgroups(0, nullptr)) + 1);
    const int n = ::getgroups(int(current.size()), current.data());
    bool inLogin = ::getegid() == deviceGroup;
    for (int i = 0; i < n; ++i)
        inLogin = inLogin || current[std::size_t(i)] == deviceGroup;
    bool listed = false;
    if (const passwd *user = ::getpwuid(::geteuid())) {
        listed = user->pw_gid == deviceGroup;
        for (char **member = g->gr_mem; member && *member; ++member)
            listed = listed || QByteArray(*member) == user->pw_name;
    }
    if (listed && !inLogin)
        return LinkTexts::tr(
                   "Permission denied for %1. You are in the \"%2\" group now, but this login "
                   "is not yet: log out and in again.")
            .arg(path, groupName);
    return LinkTexts::tr(
               "Permission denied for %1, which belongs to the \"%2\" group. Add yourself to it "
               "(sudo usermod -aG %2 $USER) and log out and in again.")
        .arg(path, groupName);
}
