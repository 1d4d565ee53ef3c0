// vellomar-dig: the window's dig without the window, for scripts, servers and many disks.
#include "digcommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

using namespace vellomar;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vellomar"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vellomar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELLOMAR_VERSION));
    QTextStream out(stdout), err(stderr);

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "不开窗口，从 <位置> 的浏览器缓存（IE、Chrome 等 Chromium 系浏览器、Firefox）中挖出文件，\n"
        "放进 <目标> 下“挖到的资源”的分类文件夹，"
        "并在其中的 manifest.csv 记下每个文件。规则与窗口相同。\n\n"
        "退出状态：0 全部挖到或已有，1 有文件挖取失败，2 用法错误，3 没有找到缓存。"));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption cache(
        QStringLiteral("cache"),
        QStringLiteral("有多个缓存时，挖第 <N> 个（--find 的编号）或路径为 <N> 的。"),
        QStringLiteral("N"));
    const QCommandLineOption all(QStringLiteral("all-caches"),
                                 QStringLiteral("逐个挖取找到的全部缓存。"));
    const QCommandLineOption type(
        QStringLiteral("type"),
        QStringLiteral("文件类型：all 所有文件、media 所有音画（默认）、pictures "
                       "图片文件、flv、jpg、gif、audio MP3＆WMA、swf。"),
        QStringLiteral("类型"), QStringLiteral("media"));
    const QCommandLineOption min(QStringLiteral("min"),
                                 QStringLiteral("最小文件大小，如 10K（默认）、1M。"),
                                 QStringLiteral("大小"), QStringLiteral("10K"));
    const QCommandLineOption max(QStringLiteral("max"),
                                 QStringLiteral("最大文件大小，如 90M（默认）。"),
                                 QStringLiteral("大小"), QStringLiteral("90M"));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("只挖这个缓存文件夹（可重复）；默认全部。"),
                                    QStringLiteral("名称"));
    const QCommandLineOption list(
        QStringLiteral("list"),
        QStringLiteral("列出窗口会列出的文件（文件夹、文件名、类型、大小、网址），不挖取。"));
    const QCommandLineOption find(QStringLiteral("find"),
                                  QStringLiteral("列出 <位置> 中找到的缓存。"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("以 JSON 输出（每行一个对象）。"));
    const QCommandLineOption dry(QStringLiteral("dry-run"),
                                 QStringLiteral("只说明会把什么复制到哪里，什么也不写。"));
    const QCommandLineOption layout(QStringLiteral("layout"),
                                    QStringLiteral("classes：按类型放（默认，与窗口相同）；site：按"
                                                   "记录的网址放成 <主机>/<路径>/<文件名>。"),
                                    QStringLiteral("方式"), QStringLiteral("classes"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("不显示进度。"));
    for (const QCommandLineOption &o :
         {cache, all, type, min, max, folder, list, find, json, dry, layout, quiet})
        p.addOption(o);
    p.addPositionalArgument(QStringLiteral("位置"),
                            QStringLiteral("缓存、用户文件夹、Windows 磁盘或 Wine 前缀。"));
    p.addPositionalArgument(QStringLiteral("目标"),
                            QStringLiteral("挖到的文件放在哪里；默认是窗口设置的存放目录。"),
                            QStringLiteral("[目标]"));
    if (!p.parse(QCoreApplication::arguments())) {
        err << p.errorText() << "\n\n" << p.helpText();
        return digusage;
    }
    if (p.isSet(QStringLiteral("help"))) {
        out << p.helpText();
        return digok;
    }
    if (p.isSet(QStringLiteral("version"))) {
        out << "vellomar-dig " << QCoreApplication::applicationVersion() << '\n';
        return digok;
    }
    const auto usage = [&](const QString &why) {
        err << why << "\n\n" << p.helpText();
        return int(digusage);
    };
    const QStringList args = p.positionalArguments();
    if (args.isEmpty() || args.size() > 2)
        return usage(QStringLiteral("需要 <位置>，至多再加一个 <目标>。"));
    DigOptions o;
    o.place = QDir(args[0]).absolutePath();
    o.dest = args.value(1);
    o.cache = p.value(cache);
    o.allcaches = p.isSet(all);
    if (o.allcaches && !o.cache.isEmpty())
        return usage(QStringLiteral("--cache 与 --all-caches 只能选一个。"));
    o.type = parsetype(p.value(type));
    if (o.type < 0)
        return usage(QStringLiteral("未知的类型：") + p.value(type));
    o.minkb = parsesize(p.value(min));
    o.maxkb = parsesize(p.value(max));
    if (o.minkb < 0 || o.maxkb < 0 || o.minkb > o.maxkb)
        return usage(QStringLiteral("大小范围不对：") + p.value(min) + QStringLiteral(" 到 ") +
                     p.value(max));
    o.folders = p.values(folder);
    o.list = p.isSet(list);
    o.find = p.isSet(find);
    o.json = p.isSet(json);
    o.dryrun = p.isSet(dry);
    o.quiet = p.isSet(quiet);
    if (p.value(layout) != QLatin1String("classes") && p.value(layout) != QLatin1String("site"))
        return usage(QStringLiteral("未知的放法：") + p.value(layout));
    o.sitelayout = p.value(layout) == QLatin1String("site");
    const int status = rundig(o, out, err, !o.quiet && ::isatty(2));
    out.flush();
    err.flush();
    return status;
}
