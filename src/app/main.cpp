#include "cachediscovery.h"
#include "desktopseams.h"
#include "foundcachetext.h"
#include "frm_main.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "xcbpicturesurface.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace {

int signalpipe[2] = {-1, -1};

void onsignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalpipe[1], &byte, 1);
}

// SIGTERM and SIGINT (a session logging out, a terminal's Ctrl+C) close the main window, so the
// program ends as when its user closes it. A second one ends it at once.
void closeonsignals(QWidget *window)
{
    if (::pipe2(signalpipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalpipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        while (::read(signalpipe[0], &byte, 1) > 0) {
        }
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = onsignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// Lists the caches found in a place, one per line: layout, user, path (and for another
// browser's cache, browser and format).
int findcommand(const QString &place)
{
    const std::vector<vellomar::FoundCache> caches = vellomar::findcaches(place);
    QTextStream out(stdout);
    for (const vellomar::FoundCache &c : caches)
        out << vellomar::findline(c) << '\n';
    return caches.empty() ? 3 : 0;
}

// Whether the arguments ask for something other than the window.
bool headless(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view a(argv[i]);
        if (a == "--find" || a.rfind("--find=", 0) == 0 || a == "-h" || a == "--help" ||
            a == "--help-all" || a == "-v" || a == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Vellomar"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vellomar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELLOMAR_VERSION));
    // The Flash player's web engine shares its drawing context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // What needs no window needs no display either.
    std::unique_ptr<QCoreApplication> app(headless(argc, argv) ? new QCoreApplication(argc, argv)
                                                               : new QApplication(argc, argv));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "从网页浏览器的磁盘缓存（Content.IE5）中挖出图片、Flash 动画、视频和音乐。"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption find(
        QStringLiteral("find"),
        QStringLiteral("列出 <位置> 中找到的IE缓存（布局、用户、路径）后退出。"),
        QStringLiteral("位置"));
    parser.addOption(find);
    parser.addPositionalArgument(
        QStringLiteral("位置"),
        QStringLiteral("要打开的缓存、用户文件夹、Windows 磁盘或 Wine 前缀（可省略）。"),
        QStringLiteral("[位置]"));
    parser.process(*app);
    if (parser.isSet(find))
        return findcommand(parser.value(find));
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.helpText()));
        return 2;
    }

    vellomar::MessageBoxDialogs dialogs;
    vellomar::DesktopLauncher launcher;
    vellomar::PrimaryScreen screen;
    vellomar::IniSettingsStore settings;
    // Outlives the window, whose pictures live in it.
    const std::unique_ptr<vellomar::PictureSurface> surface = vellomar::XcbPictureSurface::create();
    auto *form = new vellomar::frm_main({&dialogs, &launcher, &screen, &settings});
    form->setpicturesurface(surface.get());
    vellomar::MainWindow window(form, dialogs); // owns the form
    dialogs.setowner(&window);
    closeonsignals(&window);
    if (!parser.positionalArguments().isEmpty())
        form->setstartplace(parser.positionalArguments().first());
    form->Form_Load();
    window.show();
    return app->exec();
}
