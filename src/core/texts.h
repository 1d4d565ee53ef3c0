#pragma once

#include <QString>

// The program's own texts, exactly as the user sees them.
namespace vellomar::texts {

inline const QString appname = QStringLiteral("Vellomar");
inline const QString caption = QStringLiteral("Vellomar（Marrowby2009.06）");
inline const QString settingsgroup = QStringLiteral("用户设置");
inline const QString settingskey = QStringLiteral("downloaddir");
inline const QString settingscachekey = QStringLiteral("cache");
inline const QString settingsrecentkey = QStringLiteral("recentplaces");
inline const QString openplacetitle = QStringLiteral("打开缓存位置");
inline const QString choosecachetitle = QStringLiteral("选择IE缓存");
inline QString nocachetext(const QString &place)
{
    return QStringLiteral("在“") + place + QStringLiteral("”中没有找到IE缓存。");
}
// What the caches offered are called: Internet Explorer's alone, or those of any browser.
inline QString cachesword(bool onlyie)
{
    return onlyie ? QStringLiteral("IE缓存") : QStringLiteral("浏览器缓存");
}
// While the caches of a place are searched, with the folders read so far.
inline QString searchingtext(const QString &place, qint64 folders)
{
    return QStringLiteral("正在“") + place + QStringLiteral("”中查找IE缓存……已查找 ") +
           QString::number(folders) + QStringLiteral(" 个文件夹");
}
inline const QString cancelsearchtext = QStringLiteral("取消查找");
inline const QString cancelsearchname = QStringLiteral("取消查找IE缓存");
inline const QString resourcefolder = QStringLiteral("挖到的资源");
inline const QString browsetitle = QStringLiteral("请选择挖到资料的存放目录");
inline const QString confirmkillall = QStringLiteral("您确定要清空存放挖到资源的目录吗？");
inline const QString confirmclearcache = QStringLiteral("您确定要清空IE缓存目录吗？");
// Shown after a dig whose record could not be written in full; the report keeps its text.
inline QString manifestfailedtext(const QString &path, const QString &reason)
{
    return QStringLiteral("资源清单“") + path + QStringLiteral("”未能写全：") + reason;
}
inline const QString designprogress = QStringLiteral("正在处理IE缓存文件夹（1/4），请稍候……");

// Carriage return alone breaks lines in label texts.
inline const QChar cr = QChar(13);

// Label texts keep their lone carriage returns; a Qt label needs line feeds to break.
inline QString forlabel(QString text)
{
    return text.replace(cr, QChar(10));
}

} // namespace vellomar::texts
