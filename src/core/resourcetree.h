#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace vellomar {

enum class ResourceClass { jpg, gif, png, mp3, wma, swf, flv, others };

// Class folders in the order they are created.
inline constexpr std::array<ResourceClass, 8> creationorder = {
    ResourceClass::jpg, ResourceClass::gif, ResourceClass::png, ResourceClass::mp3,
    ResourceClass::wma, ResourceClass::swf, ResourceClass::flv, ResourceClass::others};

QString classname(ResourceClass c);

// Exact, case-sensitive: "JPG" and "jpeg" go to others.
ResourceClass classify(const QString &type);

// The nine folders of the tree relative to the download directory, root first.
QStringList resourcetreefolders();

// Makes what is missing of the tree under `downloaddir` (ending with the separator), one level
// at a time: a missing download directory gets nothing. An entry of any kind that is already
// there counts as present. Nothing is reported.
void makeresourcetree(const QString &downloaddir);

// Where digs go before the user chooses: the program's own folder when the user can write
// there, else the user's download folder. Both end with the separator.
QString defaultdownloaddir(const QString &programfolder, const QString &downloadfolder);

// A stored download directory as paths are built from it: absolute, ending with the separator.
// An empty or relative value (a hand-edited or damaged setting) gives a null string: it counts
// as not stored, so the tree never lands beside it or in whatever the current folder is.
QString usabledownloaddir(const QString &stored);

// Whether the folder `name` of the open folder is one of this program's resource trees: it is
// named 挖到的资源, or it holds a plain file manifest.csv beside at least one class folder (a tree
// renamed). A cache's folder list leaves such a folder out, so a tree made inside a cache is
// never listed, dug or cleared as part of it.
bool isresourcetree(int parentfd, const QString &name);

// The class folder's path, ending with the separator.
QString classfolder(const QString &downloaddir, ResourceClass c);

// The record every dig keeps beside the class folders, and its path.
inline constexpr char manifestname[] = "manifest.csv";
QString manifestpath(const QString &downloaddir);

} // namespace vellomar
