#include "passlock.h"

#include "filecopy.h"
#include "resourcetree.h"
#include "texts.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace vellomar {

namespace {

bool takelock(int fd, int how)
{
    while (::flock(fd, how) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

PassLock::PassLock(const QString &downloaddir)
    : m_tree(openbeneath(downloaddir, texts::resourcefolder))
{
    if (!m_tree.valid())
        return;
    // Alone: whatever temporary copy is there belongs to a pass that is gone.
    if (takelock(m_tree.fd(), LOCK_EX | LOCK_NB))
        m_removed = removeleftovercopies(m_tree.fd());
    m_held = takelock(m_tree.fd(), LOCK_SH);
}

int removeleftovercopies(int treefd)
{
    int removed = 0;
    for (ResourceClass c : creationorder) {
        const FolderHandle folder(::openat(treefd, nativepath(classname(c)).c_str(),
                                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.valid())
            continue;
        std::vector<std::string> names;
        listfolder(folder.fd(), [&](std::string_view name, EntryKind kind) {
            if (kind == EntryKind::file && istempcopyname(name))
                names.emplace_back(name);
        });
        for (const std::string &name : names) {
            // Asked again right before: only a plain file goes, a link is never followed.
            struct stat st;
            if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode) && ::unlinkat(folder.fd(), name.c_str(), 0) == 0)
                ++removed;
        }
    }
    return removed;
}

} // namespace vellomar
