#pragma once

// Files of a test's fixtures, for tests of the core alone as for those of the window.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace vellomar::test {

// Writes `content` to `path`, replacing what was there; makes parent folders.
inline bool writecontent(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

inline QByteArray readcontent(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file and folder below `folder`, each with its size, modification time and bytes' sum,
// sorted: what "nothing was written there" is compared by.
inline QStringList treesnapshot(const QString &folder)
{
    QStringList s;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QFileInfo i(p);
        s << p + ' ' + QString::number(i.size()) + ' ' +
                 QString::number(i.lastModified().toMSecsSinceEpoch()) + ' ' +
                 QString::fromLatin1(
                     QCryptographicHash::hash(readcontent(p), QCryptographicHash::Sha256).toHex());
    }
    s.sort();
    return s;
}

} // namespace vellomar::test
