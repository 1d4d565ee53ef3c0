#include "desktopseams.h"

#include "common/texts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

namespace vellomar {

bool MessageBoxDialogs::confirm(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, texts::appname, text, QMessageBox::Yes | QMessageBox::No,
                    m_owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxDialogs::inform(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, texts::appname, text, QMessageBox::Ok, m_owner);
    box.exec();
}

QString MessageBoxDialogs::choosefolder(const QString &title, const QString &start)
{
    return QFileDialog::getExistingDirectory(m_owner, title, start);
}

bool DesktopLauncher::open(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QSize PrimaryScreen::size() const
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(1024, 768);
}

} // namespace vellomar
