#pragma once

#include "platform.h"

#include <QString>

namespace vellomar {

// Held by every dig into a download directory while it may have temporary copies in the class
// folders (a shared lock on 挖到的资源). The one who takes it while no other pass holds it
// first removes what dead passes left there, so that two digs at once never remove each
// other's files.
class PassLock
{
  public:
    explicit PassLock(const QString &downloaddir);
    PassLock(const PassLock &) = delete;
    PassLock &operator=(const PassLock &) = delete;

    bool held() const { return m_held; }
    // How many leftover temporary copies were removed when it was taken.
    int removed() const { return m_removed; }

  private:
    FolderHandle m_tree;
    bool m_held = false;
    int m_removed = 0;
};

// Removes the program's own temporary copies from the class folders of the open resource
// folder: only names of their form, only plain files, never through a link. Returns how many.
int removeleftovercopies(int treefd);

} // namespace vellomar
