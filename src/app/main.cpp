#include "desktopseams.h"
#include "frm_main.h"
#include "settingsstore.h"

#include <QApplication>

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
    window.Form_Load();
    window.show();
    return app.exec();
}
