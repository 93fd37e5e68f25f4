#include "link/permissionadvice.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace lumavera {

namespace {

QString groupName(gid_t gid)
{
    const group *g = ::getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

QString userName(uid_t uid)
{
    const passwd *p = ::getpwuid(uid);
    return p ? QString::fromLocal8Bit(p->pw_name) : QString::number(uid);
}

// Whether this login carries the group, and whether the user is listed in
// it (a listing takes effect at the next login).
bool inLogin(gid_t gid)
{
    std::vector<gid_t> current(std::size_t(::getgroups(0, nullptr)) + 1);
    const int n = ::getgroups(int(current.size()), current.data());
    bool found = ::getegid() == gid;
    for (int i = 0; i < n; ++i)
        found = found || current[std::size_t(i)] == gid;
    return found;
}

bool listedIn(gid_t gid)
{
    const passwd *user = ::getpwuid(::geteuid());
    const group *g = ::getgrgid(gid);
    if (!user || !g)
        return false;
    bool listed = user->pw_gid == gid;
    for (char **member = g->gr_mem; member && *member; ++member)
        listed = listed || QByteArray(*member) == user->pw_name;
    return listed;
}

} // namespace

QString PermissionAdvice(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return LinkTexts::tr("Permission denied for %1.").arg(path);
    constexpr mode_t ReadWrite = S_IRUSR | S_IWUSR;
    const bool ownerMay = (st.st_mode & ReadWrite) == ReadWrite;
    const bool groupMay = (st.st_mode & (ReadWrite >> 3)) == (ReadWrite >> 3);
    const QString group = groupName(st.st_gid);

    // Joining the group helps only where the group may read and write the
    // device, and never root's: that is no group to join for a serial line.
    if (groupMay && st.st_gid != 0) {
        if (listedIn(st.st_gid) && !inLogin(st.st_gid))
            return LinkTexts::tr(
                       "Permission denied for %1. You are in the \"%2\" group now, but this "
                       "login is not yet: log out and in again.")
                .arg(path, group);
        if (!inLogin(st.st_gid))
            return LinkTexts::tr(
                       "Permission denied for %1, which belongs to the \"%2\" group. Add yourself "
                       "to it (sudo usermod -aG %2 $USER) and log out and in again.")
                .arg(path, group);
    }
    // Who may open it, then what would change that.
    QString who;
    if (ownerMay && groupMay)
        who = LinkTexts::tr("only %1 and the \"%2\" group may open it")
                  .arg(userName(st.st_uid), group);
    else if (ownerMay)
        who = LinkTexts::tr("only %1 may open it").arg(userName(st.st_uid));
    else if (groupMay)
        who = LinkTexts::tr("only the \"%1\" group may open it").arg(group);
    else
        who = LinkTexts::tr("its mode lets no one but root open it");
    return LinkTexts::tr("Permission denied for %1: %2. A udev rule for the adapter that gives it "
                         "to a group of yours (GROUP=\"dialout\", MODE=\"0660\"), or an "
                         "administrator, can change that.")
        .arg(path, who);
}

} // namespace lumavera
