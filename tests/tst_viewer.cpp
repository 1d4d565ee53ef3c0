#include "filelistbox.h"
#include "flashplayer.h"
#include "frm_picfullscreen.h"
#include "mediaplayer.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "samplecache.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QWindow>
#include <QtTest>

using namespace vellomar;
using namespace vellomar::test;

namespace {

// Seventeen rows: pictures, with a Flash movie, a sound, a PNG and a broken picture among them.
struct ViewerWindow {
    CacheFixture f;
    Window w;
    QString folder() const { return f.sub("AAAAAAAA"); }
    ViewerWindow()
    {
        const QString d = folder() + "/";
        QDir().mkpath(d);
        for (int i = 0; i < 13; ++i)
            sample::writejpeg(d + QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), 640,
                              480);
        sample::writeswf(d + "q.swf");
        sample::writewithffmpeg(d + "r.mp3");
        sample::writepng(d + "s.png", 64, 64);
        writecontent(d + "t.jpg", QByteArray("<html></html>").repeated(1000));
        for (const char *n : {"q.swf", "s.png"})
            sample::padto(d + n, 12 * 1024);
        w.load(f.cacheroot(), f.download());
        w.browser().Opt_filetype_Click(0);
    }
    int row(const QString &name) const { return rownames(w).indexOf(name); }
    frm_picfullscreen *v() const { return w.viewer(); }
    void open(int row) const { w.openrow(row); }
    void key(Qt::Key k) const { QTest::keyClick(v()->Cbo_scrollpic, k); }
};

} // namespace

class TestViewer : public QObject
{
    Q_OBJECT
  private slots:
    void stepsThroughTheRows()
    {
        ViewerWindow x;
        QCOMPARE(x.w->Rlt_iecachesubdir->RowCount(), 17);
        x.open(0);
        QVERIFY(x.w.form().viewershowing());
        QCOMPARE(x.v()->geometry(), QRect(0, 0, 1024, 768));
        QVERIFY(x.v()->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(x.v()->Cbo_scrollpic->count(), 17);
        QCOMPARE(x.v()->Cbo_scrollpic->itemText(16), QStringLiteral("16"));
        QCOMPARE(x.v()->img_fullscreen->toolTip(), QStringLiteral("(1/17) p00.jpg"));

        x.key(Qt::Key_Down);
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 1);
        QCOMPARE(x.v()->img_fullscreen->toolTip(), QStringLiteral("(2/17) p01.jpg"));
        QCOMPARE(x.w->Rlt_iecachesubdir->CurrentRow(), 1);
        QVERIFY(x.w->Rlt_iecachesubdir->RowSelected(1) && !x.w->Rlt_iecachesubdir->RowSelected(0));
        x.key(Qt::Key_Up);
        x.key(Qt::Key_Up); // no wrap-around
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 0);

        // Letters and digits leave the position where it was.
        x.key(Qt::Key_P);
        x.key(Qt::Key_1);
        x.key(Qt::Key_Left);
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 0);
        x.key(Qt::Key_Down);
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 1);

        // The wheel: backward is the next entry, forward the previous.
        QWheelEvent back(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(x.v()->img_fullscreen, &back);
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 2);
        QWheelEvent forward(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                            Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(x.v(), &forward);
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 1);

        for (int i = 0; i < 20; ++i)
            x.key(Qt::Key_Down);
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 16);
        QCOMPARE(x.v()->img_fullscreen->toolTip(), QStringLiteral("(17/17) t.jpg"));

        x.key(Qt::Key_Up);
        x.key(Qt::Key_Escape);
        QVERIFY(!x.w.form().viewershowing());
        QCOMPARE(x.w->Rlt_iecachesubdir->CurrentRow(), 15);
        QVERIFY(x.w->Rlt_iecachesubdir->RowSelected(15));
        QVERIFY(x.w->Img_largeview->isHidden()); // s.png clears the preview
    }

    // The list the viewer covers keeps its place while the rows go by, and shows the current
    // row once the viewer closes.
    void theCoveredListCatchesUpWhenTheViewerCloses()
    {
        CacheFixture f;
        const QString d = f.sub("AAAAAAAA") + "/";
        QDir().mkpath(d);
        for (int i = 0; i < 60; ++i) {
            const QString name = d + QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
            sample::writejpeg(name, 64, 48);
            sample::padto(name, 12 * 1024);
        }
        Window w;
        w.load(f.cacheroot(), f.download());
        w.browser().Opt_filetype_Click(0);
        ResultListControl *list = w->Rlt_iecachesubdir;
        QCOMPARE(list->RowCount(), 60);
        const auto shown = [&](int row) {
            return list->viewport()->rect().contains(
                list->visualRect(list->model()->index(row, 0)));
        };
        list->setCurrentRow(0);
        list->setRowSelected(0, true);
        w.form().viewcurrentfile();
        QVERIFY(w.form().viewershowing());
        const int top = list->verticalScrollBar()->value();
        for (int i = 0; i < 50; ++i)
            QTest::keyClick(w.viewer()->Cbo_scrollpic, Qt::Key_Down);
        QCOMPARE(list->CurrentRow(), 50);
        QCOMPARE(list->verticalScrollBar()->value(), top);
        QVERIFY(!shown(50));
        QTest::keyClick(w.viewer()->Cbo_scrollpic, Qt::Key_Escape);
        QVERIFY(!w.form().viewershowing());
        QVERIFY(shown(50));
        QCOMPARE(list->CurrentRow(), 50);
    }

    void placesPicturesOnTheScreen()
    {
        ViewerWindow x;
        x.open(0);
        // Natural size (the start option): 640 x 480 centred on 1024 x 768.
        QCOMPARE(x.v()->placed(), QRectF(2880, 2160, 9600, 7200));
        QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(192, 144, 640, 480));
        QVERIFY(x.v()->img_fullscreen->haspicture());
        // Space fits it to the screen, and again shows it at natural size.
        x.key(Qt::Key_Space);
        QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(0, 0, 1024, 768));
        x.key(Qt::Key_Space);
        QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(192, 144, 640, 480));
        x.key(Qt::Key_Return);
        QVERIFY(!x.w.form().viewershowing());

        // Fit to screen: factor 1.6 fills it; Space shows natural size.
        x.w->Opt_picorisizemode[1]->click();
        x.open(0);
        QVERIFY(qFuzzyCompare(x.w.preview().common().fullscreenscale, 1.6f));
        QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(0, 0, 1024, 768));
        x.key(Qt::Key_Space);
        QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(192, 144, 640, 480));
        x.key(Qt::Key_Space);
        QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(0, 0, 1024, 768));
    }

    void spaceClosesWhenNoPictureIsShown_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("flash") << "q.swf";
        QTest::newRow("audio") << "r.mp3";
        QTest::newRow("failed picture") << "t.jpg";
    }
    void spaceClosesWhenNoPictureIsShown()
    {
        QFETCH(QString, name);
        ViewerWindow x;
        x.open(x.row(name));
        QVERIFY(x.w.form().viewershowing());
        QVERIFY(!x.v()->img_fullscreen->haspicture());
        x.key(Qt::Key_Space);
        QVERIFY(!x.w.form().viewershowing());
    }

    void flashPlaysInTheViewer()
    {
        ViewerWindow x;
        const int r = x.row("q.swf");
        x.open(r);
        QVERIFY(!x.v()->FlashFS->isHidden());
        QCOMPARE(x.v()->FlashFS->kind(), FlashPlayer::Kind::Swf);
        QVERIFY(x.v()->FlashFS->playing());
        QCOMPARE(x.v()->FlashFS->geometry(), QRect(0, 0, 1024, 768));
        QVERIFY(!x.w->Flashbox->isHidden());
        // The first movie of the run: the preview's copy is held stopped (Ruffle's own state,
        // once both have loaded), so it is not heard twice.
        QTRY_VERIFY_WITH_TIMEOUT(swfstate(*x.v()->FlashFS).playing, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(swfstate(*x.w->Flashbox).loaded, 60000);
        QTest::qWait(500);
        QVERIFY(!swfstate(*x.w->Flashbox).playing);
        // Stepping on to a picture unloads the viewer's Flash.
        x.key(Qt::Key_Down);
        QVERIFY(x.v()->FlashFS->isHidden());
        QCOMPARE(x.v()->FlashFS->Movie(), QStringLiteral("abc"));
        x.key(Qt::Key_Up);
        QVERIFY(!x.v()->FlashFS->isHidden());
        // Closing stops the viewer's movie and lets the preview play again.
        x.key(Qt::Key_Escape);
        QVERIFY(x.v()->FlashFS->isHidden());
        QCOMPARE(x.v()->FlashFS->kind(), FlashPlayer::Kind::None);
        QTRY_VERIFY_WITH_TIMEOUT(swfstate(*x.w->Flashbox).playing, 10000);
    }

    // Enter, Space or Escape on the list opens the viewer when the key goes down; its release
    // then reaches the viewer, which must not take it as its own key.
    void keyboardOpeningLeavesTheViewerOpen_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Space") << int(Qt::Key_Space);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }
    void keyboardOpeningLeavesTheViewerOpen()
    {
        QFETCH(int, key);
        ViewerWindow x;
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowActive(x.w.w.get()));
        QTRY_VERIFY(x.w->Rlt_iecachesubdir->hasFocus());
        // As the window system delivers them: each to the window that has the focus then.
        const auto system = [](QEvent::Type type, int k) {
            QWindow *focus = QGuiApplication::focusWindow();
            QVERIFY(focus);
            if (type == QEvent::KeyPress)
                QTest::keyPress(focus, Qt::Key(k));
            else
                QTest::keyRelease(focus, Qt::Key(k));
        };
        system(QEvent::KeyPress, key);
        QVERIFY(x.w.form().viewershowing());
        QTRY_COMPARE(QGuiApplication::focusWindow(), x.v()->windowHandle());
        QTRY_VERIFY(x.v()->Cbo_scrollpic->hasFocus());
        system(QEvent::KeyRelease, key);
        QVERIFY(x.w.form().viewershowing());
        // Row 0 in the chosen mode, natural size.
        QCOMPARE(x.v()->img_fullscreen->toolTip(), QStringLiteral("(1/17) p00.jpg"));
        QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(192, 144, 640, 480));
        // A key that goes down and up in the viewer is the viewer's.
        system(QEvent::KeyPress, Qt::Key_Down);
        system(QEvent::KeyRelease, Qt::Key_Down);
        QCOMPARE(x.v()->Cbo_scrollpic->currentIndex(), 1);
        system(QEvent::KeyPress, key);
        system(QEvent::KeyRelease, key);
        if (key == Qt::Key_Space) {
            QVERIFY(x.w.form().viewershowing());
            QCOMPARE(x.v()->img_fullscreen->geometry(), QRect(0, 0, 1024, 768));
        } else {
            QVERIFY(!x.w.form().viewershowing());
        }
    }

    // However the viewer goes away, it lets go of its picture and movie, and the preview is
    // painted and plays again.
    void everyCloseRunsTheClosingSteps_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("wmclose");
        QTest::newRow("picture, window-manager close") << "p02.jpg" << true;
        QTest::newRow("picture, hidden") << "p02.jpg" << false;
        QTest::newRow("flash, window-manager close") << "q.swf" << true;
        QTest::newRow("flash, hidden") << "q.swf" << false;
    }
    void everyCloseRunsTheClosingSteps()
    {
        QFETCH(QString, name);
        QFETCH(bool, wmclose);
        ViewerWindow x;
        x.open(x.row(name));
        QVERIFY(x.w.form().viewershowing());
        QVERIFY(!x.w->Pic_imgbox->updatesEnabled());
        if (wmclose)
            x.v()->windowHandle()->close(); // what a close from the window manager arrives as
        else
            x.v()->hide();
        QVERIFY(!x.w.form().viewershowing());
        QVERIFY(x.w->Pic_imgbox->updatesEnabled());
        QVERIFY(!x.v()->img_fullscreen->haspicture());
        QVERIFY(x.v()->FlashFS->isHidden());
        QCOMPARE(x.v()->FlashFS->kind(), FlashPlayer::Kind::None);
        if (name.endsWith(".swf")) {
            QVERIFY(x.w->Flashbox->playing());
            QTRY_VERIFY_WITH_TIMEOUT(swfstate(*x.w->Flashbox).playing, 60000);
        }
        // And it opens again as before.
        x.open(x.row("p03.jpg"));
        QVERIFY(x.w.form().viewershowing());
        QVERIFY(x.v()->img_fullscreen->haspicture());
    }

    // Only the left button's double-click opens from the preview or closes the viewer; the
    // dig report is not the preview.
    void onlyTheLeftDoubleClickOpensAndCloses()
    {
        ViewerWindow x;
        x.w.form().show();
        QVERIFY(QTest::qWaitForWindowExposed(x.w.w.get()));
        QVERIFY(!x.w->Img_largeview->isHidden());
        QTest::mouseDClick(x.w->Img_largeview, Qt::RightButton);
        QTest::mouseDClick(x.w->Pic_imgboard, Qt::RightButton, {}, QPoint(2, 2));
        QVERIFY(!x.w.form().viewershowing());
        x.w->lbl_digresult->show();
        QTest::mouseDClick(x.w->lbl_digresult, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseClick(x.w->lbl_digresult, Qt::MiddleButton, {}, QPoint(2, 2));
        QVERIFY(!x.w.form().viewershowing());
        x.w->lbl_digresult->hide();

        QTest::mouseDClick(x.w->Img_largeview, Qt::LeftButton);
        QVERIFY(x.w.form().viewershowing());
        QTest::mouseDClick(x.v()->img_fullscreen, Qt::RightButton);
        QTest::mouseDClick(x.v(), Qt::RightButton, {}, QPoint(2, 2));
        QVERIFY(x.w.form().viewershowing());
        QTest::mouseDClick(x.v()->img_fullscreen, Qt::LeftButton);
        QVERIFY(!x.w.form().viewershowing());
        QTest::mouseDClick(x.w->Pic_imgboard, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(x.w.form().viewershowing());
    }

    void mouseClosesWithTheMiddleButtonOrADoubleClick()
    {
        ViewerWindow x;
        x.open(0);
        QTest::mouseClick(x.v()->img_fullscreen, Qt::LeftButton);
        QTest::mouseClick(x.v()->img_fullscreen, Qt::RightButton);
        QVERIFY(x.w.form().viewershowing());
        QTest::mouseClick(x.v()->img_fullscreen, Qt::MiddleButton);
        QVERIFY(!x.w.form().viewershowing());
        x.open(0);
        QTest::mouseClick(x.v(), Qt::MiddleButton, {}, QPoint(2, 2));
        QVERIFY(!x.w.form().viewershowing());
        x.open(0);
        QTest::mouseDClick(x.v(), Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(!x.w.form().viewershowing());
    }

    void openGesturesAndModes()
    {
        ViewerWindow x;
        ResultListControl *list = x.w->Rlt_iecachesubdir;
        // 直接全屏: MP3 and PNG rows go to the shell on a double-click.
        for (const char *name : {"r.mp3", "s.png"}) {
            x.w.browser().Rlt_iecachesubdir_RowDblClick(x.row(name));
            QCOMPARE(x.w.launcher.opened.last(), x.folder() + "/" + name);
            QVERIFY(!x.w.form().viewershowing());
        }
        x.w.browser().Rlt_iecachesubdir_RowDblClick(x.row("p03.jpg"));
        QVERIFY(x.w.form().viewershowing());
        x.v()->exitfullscreen();
        // Enter on the list opens the viewer whatever the row is.
        list->setCurrentRow(x.row("r.mp3"));
        x.w.browser().Rlt_iecachesubdir_ListKey(13, 0);
        QVERIFY(x.w.form().viewershowing());
        QVERIFY(!x.v()->img_fullscreen->haspicture());
        QCOMPARE(x.w->wmp->URL(), x.folder() + "/r.mp3");
        x.v()->exitfullscreen();
        // The preview board: middle button and keys open, left and right do nothing.
        emit x.w->Pic_imgboard->MouseUp(1);
        emit x.w->Pic_imgboard->MouseUp(2);
        QVERIFY(!x.w.form().viewershowing());
        emit x.w->Pic_imgboard->MouseUp(4);
        QVERIFY(x.w.form().viewershowing());
        x.v()->exitfullscreen();
        // Enter, Space and Escape pressed on the board open when let go; another key does not,
        // nor the release of a key pressed elsewhere (the Enter that closed a dialog).
        for (Qt::Key k : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Escape}) {
            QTest::keyClick(x.w->Pic_imgboard, k);
            QVERIFY2(x.w.form().viewershowing(), qPrintable(QKeySequence(k).toString()));
            x.v()->exitfullscreen();
        }
        QTest::keyClick(x.w->Pic_imgboard, Qt::Key_A);
        QTest::keyRelease(x.w->Pic_imgboard, Qt::Key_Return);
        QVERIFY(!x.w.form().viewershowing());

        // 看图程序: nothing opens the viewer; everything goes to the shell.
        x.w->opt_picopenmode[1]->click();
        QVERIFY(!x.w.preview().common().picfullscreenopen);
        const int opened = x.w.launcher.opened.size();
        x.w.browser().Rlt_iecachesubdir_RowDblClick(x.row("p03.jpg"));
        list->setCurrentRow(x.row("p04.jpg"));
        x.w.browser().Rlt_iecachesubdir_ListKey(13, 0);
        emit x.w->Img_largeview->DblClick(1);
        QVERIFY(!x.w.form().viewershowing());
        QCOMPARE(x.w.launcher.opened.mid(opened),
                 QStringList(
                     {x.folder() + "/p03.jpg", x.folder() + "/p04.jpg", x.folder() + "/p04.jpg"}));
    }

    void viewerClosesWithTheMainWindow()
    {
        ViewerWindow x;
        x.open(0);
        x.w.form().close();
        QVERIFY(!x.w.form().viewershowing());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestViewer t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_viewer.moc"
