#include "desktopseams.h"
#include "frm_main.h"
#include "settingsstore.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
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

} // namespace

int main(int argc, char *argv[])
{
    // The Flash player's web engine shares its drawing context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellomar"));
    QApplication::setOrganizationName(QStringLiteral("Vellomar"));

    vellomar::MessageBoxDialogs dialogs;
    vellomar::DesktopLauncher launcher;
    vellomar::PrimaryScreen screen;
    vellomar::IniSettingsStore settings;
    vellomar::frm_main window({&dialogs, &launcher, &screen, &settings});
    dialogs.setowner(&window);
    closeonsignals(&window);
    window.Form_Load();
    window.show();
    return app.exec();
}
