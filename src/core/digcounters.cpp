#include "digcounters.h"

#include "numbers.h"
#include "texts.h"

#include <numeric>

namespace vellomar {

qint64 DigCounters::totalfiles() const
{
    return std::accumulate(files.begin(), files.end(), qint64(0));
}

qint64 DigCounters::totalbytes() const
{
    return std::accumulate(bytes.begin(), bytes.end(), qint64(0));
}

QString megabytetext(qint64 bytes)
{
    return hundredthstext(roundhalfeven(double(bytes) / 1024.0 / 1024.0 * 100.0));
}

QString digreport(const DigCounters &c)
{
    const QString cr = texts::cr;
    struct Line {
        ResourceClass cls;
        const char16_t *label;
        const char16_t *measure;
        const char16_t *end;
    };
    static const Line lines[] = {
        {ResourceClass::jpg, u"JPG图片：", u" 张，总大小：", u" M；"},
        {ResourceClass::gif, u"GIF图片：", u" 张，总大小：", u" M；"},
        {ResourceClass::png, u"PNG图片：", u" 张，总大小：", u" M；"},
        {ResourceClass::swf, u"SWF动画：", u" 个，总大小：", u" M；"},
        {ResourceClass::flv, u"FLV视频：", u" 个，总大小：", u" M；"},
        {ResourceClass::mp3, u"MP3音乐：", u" 首，总大小：", u" M；"},
        {ResourceClass::wma, u"WMP音乐：", u" 首，总大小：", u" M；"},
        {ResourceClass::others, u"其它文件：", u" 个，总大小：", u" M。"},
    };
    QString text = cr;
    text += QStringLiteral("挖掘结果统计") + cr + cr;
    text += QStringLiteral("本次共提取到文件：") + QString::number(c.totalfiles()) +
            QStringLiteral("个，") + cr + QStringLiteral("所提文件总大小为：") +
            megabytetext(c.totalbytes()) + QStringLiteral(" M。") + cr + cr;
    for (const Line &l : lines) {
        text += QString::fromUtf16(l.label) + QString::number(c.filesof(l.cls)) +
                QString::fromUtf16(l.measure) + megabytetext(c.bytesof(l.cls)) +
                QString::fromUtf16(l.end);
        if (l.cls != ResourceClass::others)
            text += cr;
    }
    return text;
}

qint64 progresspercent(qint64 row, qint64 rows)
{
    return rows <= 0 ? 0 : roundhalfeven(double(row + 1) / double(rows) * 100.0);
}

QString progresstext(int folderposition, int foldercount, qint64 row, qint64 rows)
{
    return QStringLiteral("正在处理IE缓存文件夹（") + QString::number(folderposition) +
           QLatin1Char('/') + QString::number(foldercount) + QStringLiteral("），请稍候……") +
           texts::cr + texts::cr + QStringLiteral("（") +
           QString::number(progresspercent(row, rows)) + QStringLiteral("%）");
}

} // namespace vellomar
