#include "mainwindow.h"

#include "frm_main.h"
#include "seams.h"
#include "texts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

namespace vellomar {

QString droppedfolder(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().first();
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    return QFileInfo(path).isDir() ? path : QString();
}

MainWindow::MainWindow(frm_main *form, Dialogs &dialogs) : m_form(form), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("mainwindow"));
    setCentralWidget(form);
    // The client area keeps its design size; the menu bar comes on top of it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setAcceptDrops(true);
    setWindowIcon(form->windowIcon());
    setWindowTitle(form->windowTitle());
    connect(form, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);

    QMenu *cache = menuBar()->addMenu(QStringLiteral("缓存(&C)"));
    cache->setObjectName(QStringLiteral("menu_cache"));
    QAction *open =
        cache->addAction(texts::openplacetitle + QStringLiteral("…"), this, &MainWindow::openplace);
    open->setObjectName(QStringLiteral("act_openplace"));
    open->setShortcut(QKeySequence::Open);
    m_recent = cache->addMenu(QStringLiteral("最近的位置"));
    m_recent->setObjectName(QStringLiteral("menu_recent"));
    cache->addSeparator();
    QAction *quit = cache->addAction(QStringLiteral("退出"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("act_quit"));
    quit->setShortcut(QKeySequence::Quit);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("menu_help"));
    QAction *about = help->addAction(QStringLiteral("关于"), this, [this] {
        m_dialogs.inform(
            QStringLiteral("%1 %2\n从网页浏览器的磁盘缓存中挖出图片、Flash 动画、视频和音乐。")
                .arg(texts::appname, QApplication::applicationVersion()));
    });
    about->setObjectName(QStringLiteral("act_about"));

    connect(form, &frm_main::recentplaceschanged, this, &MainWindow::fillrecent);
    connect(form, &frm_main::busychanged, this, [this, open](bool busy) {
        open->setEnabled(!busy);
        m_recent->setEnabled(!busy && !m_recent->isEmpty());
    });
    fillrecent();
}

void MainWindow::fillrecent()
{
    m_recent->clear();
    const QStringList places = m_form->recentplaces();
    for (const QString &place : places) {
        // An ampersand in a folder's name is not a shortcut.
        QAction *a = m_recent->addAction(QString(place).replace(u'&', QStringLiteral("&&")));
        connect(a, &QAction::triggered, this, [this, place] { m_form->openplace(place); });
    }
    m_recent->setEnabled(!places.isEmpty());
}

void MainWindow::openplace()
{
    const QStringList recent = m_form->recentplaces();
    const QString start = recent.isEmpty() ? QDir::homePath() : recent.first();
    const QString place = m_dialogs.choosefolder(texts::openplacetitle, start);
    if (!place.isEmpty())
        m_form->openplace(place);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The client area's own closing steps run as when it was the window.
    m_form->close();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedfolder(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString place = droppedfolder(event->mimeData());
    if (place.isEmpty())
        return;
    event->acceptProposedAction();
    m_form->openplace(place);
}

} // namespace vellomar
