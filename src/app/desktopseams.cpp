#include "desktopseams.h"

#include "cachechooser.h"
#include "texts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <memory>

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

int MessageBoxDialogs::choosecache(const QString &place, const std::vector<FoundCache> &caches,
                                   int preselected)
{
    CacheChooser chooser(place, caches, preselected, m_owner);
    return chooser.exec() == QDialog::Accepted ? chooser.chosen() : -1;
}

void DesktopLauncher::open(const QString &path, std::function<void(bool)> done)
{
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        done(false);
        return;
    }
    // Not parented: an opener that outlives the window (it may wait for the program it
    // started) is neither killed nor waited for when the program ends.
    auto *process = new QProcess;
    process->setProgram(m_opener);
    // Absolute, so a name starting with "-" is never read as an option.
    process->setArguments({QFileInfo(path).absoluteFilePath()});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel); // its complaints, if any
    auto reported = std::make_shared<bool>(false);
    const auto finish = [process, done = std::move(done), reported](bool ok) {
        if (std::exchange(*reported, true))
            return;
        done(ok);
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process,
                     [finish](int code, QProcess::ExitStatus status) {
                         finish(status == QProcess::NormalExit && code == 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [finish](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             finish(false);
                     });
    process->start();
}

QSize PrimaryScreen::size() const
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(1024, 768);
}

} // namespace vellomar
