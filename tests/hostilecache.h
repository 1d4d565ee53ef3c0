#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vellomar::test {

// A cache written by an attacker: broken and lying media, names that break careless code,
// links out of the tree, a FIFO and a socket. `root` receives Content.IE5; `outside` receives
// the files the links point at (which nothing may change).
struct HostileCache {
    QString root;
    QString outside;
    QStringList folders;    // the real cache folders
    QByteArray invalidname; // a name that is not valid UTF-8 (raw bytes)
    bool make(const QString &root, const QString &outside);
};

// A damaged copy of the index.dat Wine wrote (tests/data/iecache): bits flipped where they make
// the record library loop for ever.
QByteArray loopingindex();

} // namespace vellomar::test
