#include "platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace vellomar
{

bool ishiddenname(const QString &name)
{
    return name.startsWith(QLatin1Char('.'));
}

QString decodedname(const std::string &raw)
{
    const QByteArray bytes = QByteArray::fromStdString(raw);
    const QString name = QFile::decodeName(bytes);
    return QFile::encodeName(name) == bytes ? name : QString();
}

std::string nativepath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString separator()
{
    return QString(QDir::separator());
}

QString programfolder()
{
    return QCoreApplication::applicationDirPath() + separator();
}

} // namespace vellomar
