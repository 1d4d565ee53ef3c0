#include "resourcetree.h"

#include "platform.h"
#include "texts.h"

#include <QDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellomar {

QString classname(ResourceClass c)
{
    switch (c) {
    case ResourceClass::jpg:
        return QStringLiteral("jpg");
    case ResourceClass::gif:
        return QStringLiteral("gif");
    case ResourceClass::png:
        return QStringLiteral("png");
    case ResourceClass::mp3:
        return QStringLiteral("mp3");
    case ResourceClass::wma:
        return QStringLiteral("wma");
    case ResourceClass::swf:
        return QStringLiteral("swf");
    case ResourceClass::flv:
        return QStringLiteral("flv");
    case ResourceClass::others:
        break;
    }
    return QStringLiteral("others");
}

ResourceClass classify(const QString &type)
{
    for (ResourceClass c :
         {ResourceClass::jpg, ResourceClass::gif, ResourceClass::png, ResourceClass::mp3,
          ResourceClass::wma, ResourceClass::swf, ResourceClass::flv}) {
        if (type == classname(c))
            return c;
    }
    return ResourceClass::others;
}

QStringList resourcetreefolders()
{
    QStringList folders{texts::resourcefolder};
    for (ResourceClass c : creationorder)
        folders << texts::resourcefolder + separator() + classname(c);
    return folders;
}

void makeresourcetree(const QString &downloaddir)
{
    // An entry of any kind already there makes mkdirat fail quietly: it counts as present. The
    // resource folder is entered only if it is a folder, never through a link.
    const FolderHandle down = openbeneath(downloaddir);
    if (!down.valid())
        return;
    const std::string root = nativepath(texts::resourcefolder);
    ::mkdirat(down.fd(), root.c_str(), 0777);
    const FolderHandle tree = openbeneath(downloaddir, texts::resourcefolder);
    if (!tree.valid())
        return;
    for (ResourceClass c : creationorder)
        ::mkdirat(tree.fd(), nativepath(classname(c)).c_str(), 0777);
}

bool isresourcetree(int parentfd, const QString &name)
{
    if (name == texts::resourcefolder)
        return true;
    const FolderHandle folder(::openat(parentfd, nativepath(name).c_str(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!folder.valid() || ::fstatat(folder.fd(), manifestname, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return false;
    for (ResourceClass c : creationorder) {
        if (::fstatat(folder.fd(), nativepath(classname(c)).c_str(), &st, AT_SYMLINK_NOFOLLOW) ==
                0 &&
            S_ISDIR(st.st_mode))
            return true;
    }
    return false;
}

QString defaultdownloaddir(const QString &programfolder, const QString &downloadfolder)
{
    // An installed program's folder (/usr/bin) is not the user's to fill.
    if (::access(nativepath(programfolder).c_str(), W_OK | X_OK) == 0)
        return programfolder;
    return downloadfolder.endsWith(separator()) ? downloadfolder : downloadfolder + separator();
}

QString usabledownloaddir(const QString &stored)
{
    if (stored.isEmpty() || !QDir::isAbsolutePath(stored) || stored.contains(QChar(0)))
        return {};
    return stored.endsWith(separator()) ? stored : stored + separator();
}

QString classfolder(const QString &downloaddir, ResourceClass c)
{
    return downloaddir + texts::resourcefolder + separator() + classname(c) + separator();
}

QString manifestpath(const QString &downloaddir)
{
    return downloaddir + texts::resourcefolder + separator() + QLatin1String(manifestname);
}

} // namespace vellomar
