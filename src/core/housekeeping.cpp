#include "housekeeping.h"

#include "platform.h"
#include "resourcetree.h"

#include <QFile>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

namespace {

// Removes what `name` is inside the open folder `dirfd`; a folder is emptied first. Never
// follows a link: a link is one more name to unlink.
void removeentry(int dirfd, const std::string &name, const std::string &shown, QStringList &failed)
{
    struct stat st;
    if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            failed << QFile::decodeName(QByteArray::fromStdString(shown));
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        const int sub =
            ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            // A read-only folder keeps its entries; make it writable by its owner first.
            ::fchmod(sub, (st.st_mode & 07777) | S_IRWXU);
            DIR *d = ::fdopendir(sub);
            if (d) {
                std::vector<std::string> names;
                while (const dirent *e = ::readdir(d)) {
                    const std::string n = e->d_name;
                    if (n != "." && n != "..")
                        names.push_back(n);
                }
                for (const std::string &n : names)
                    removeentry(::dirfd(d), n, shown + "/" + n, failed);
                ::closedir(d);
            } else {
                ::close(sub);
            }
        }
        if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            failed << QFile::decodeName(QByteArray::fromStdString(shown));
        return;
    }
    if (::unlinkat(dirfd, name.c_str(), 0) != 0 && errno != ENOENT)
        failed << QFile::decodeName(QByteArray::fromStdString(shown));
}

} // namespace

QString openfailedtext(const QString &path)
{
    return QStringLiteral("打开“") + path +
           QStringLiteral("”失败！请检查此文件或目录是否存在且可用！");
}

QStringList emptyclassfolders(const QString &downloaddir)
{
    QStringList failed;
    const std::string root = nativepath(downloaddir + QStringLiteral("挖到的资源"));
    const int rootfd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (rootfd < 0)
        return failed;
    // The order the folders are emptied in.
    for (ResourceClass c :
         {ResourceClass::jpg, ResourceClass::gif, ResourceClass::mp3, ResourceClass::wma,
          ResourceClass::swf, ResourceClass::flv, ResourceClass::png, ResourceClass::others}) {
        const std::string name = classname(c).toStdString();
        // Only a folder (or a link standing for one, removed as a link) is a class folder; a
        // file that happens to carry the name is the user's and stays.
        struct stat st;
        if (::fstatat(rootfd, name.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode))
            continue;
        removeentry(rootfd, name, root + "/" + name, failed);
    }
    ::close(rootfd);
    return failed;
}

QStringList deletefilesin(const FolderHandle &folder, const QString &shown)
{
    QStringList failed;
    if (!folder.valid())
        return failed;
    // Everything but sub-folders goes; a link is a name like any other.
    std::vector<std::string> names;
    listfolder(folder.fd(), [&](std::string_view name, EntryKind kind) {
        if (kind != EntryKind::folder)
            names.emplace_back(name);
    });
    const std::string path = nativepath(shown);
    for (const std::string &n : names) {
        if (::unlinkat(folder.fd(), n.c_str(), 0) != 0 && errno != ENOENT)
            failed << QFile::decodeName(QByteArray::fromStdString(path + "/" + n));
    }
    return failed;
}

} // namespace vellomar
