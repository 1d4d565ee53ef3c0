#include "cache/filelistbox.h"
#include "cache/resultlistcontrol.h"
#include "preview/flashplayer.h"
#include "preview/mediaplayer.h"
#include "preview/previewwidgets.h"
#include "samplecache.h"
#include "testsupport.h"
#include "viewer/frm_picfullscreen.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
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
        w->Opt_filetype_Click(0);
    }
    int row(const QString &name) const { return rownames(*w.w).indexOf(name); }
    frm_picfullscreen *v() const { return w->viewer(); }
    void open(int row)
    {
        w->Rlt_iecachesubdir->setRowSelected(w->Rlt_iecachesubdir->CurrentRow(), false);
        w->Rlt_iecachesubdir->setRowSelected(row, true);
        w->Rlt_iecachesubdir->setCurrentRow(row);
        w->dofilelist(row);
        w->viewcurrentfile();
    }
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
        QVERIFY(x.w->viewershowing());
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
        QVERIFY(!x.w->viewershowing());
        QCOMPARE(x.w->Rlt_iecachesubdir->CurrentRow(), 15);
        QVERIFY(x.w->Rlt_iecachesubdir->RowSelected(15));
        QVERIFY(x.w->Img_largeview->isHidden()); // s.png clears the preview
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
        QVERIFY(!x.w->viewershowing());

        // Fit to screen: factor 1.6 fills it; Space shows natural size.
        x.w->Opt_picorisizemode[1]->click();
        x.open(0);
        QVERIFY(qFuzzyCompare(x.w->common.fullscreenscale, 1.6f));
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
        QVERIFY(x.w->viewershowing());
        QVERIFY(!x.v()->img_fullscreen->haspicture());
        x.key(Qt::Key_Space);
        QVERIFY(!x.w->viewershowing());
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
        QVERIFY(!x.w->Flashbox->playing()); // held, stopped
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
        QVERIFY(x.w->Flashbox->playing());
    }

    void mouseClosesWithTheMiddleButtonOrADoubleClick()
    {
        ViewerWindow x;
        x.open(0);
        QTest::mouseClick(x.v()->img_fullscreen, Qt::LeftButton);
        QTest::mouseClick(x.v()->img_fullscreen, Qt::RightButton);
        QVERIFY(x.w->viewershowing());
        QTest::mouseClick(x.v()->img_fullscreen, Qt::MiddleButton);
        QVERIFY(!x.w->viewershowing());
        x.open(0);
        QTest::mouseClick(x.v(), Qt::MiddleButton, {}, QPoint(2, 2));
        QVERIFY(!x.w->viewershowing());
        x.open(0);
        QTest::mouseDClick(x.v(), Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(!x.w->viewershowing());
    }

    void openGesturesAndModes()
    {
        ViewerWindow x;
        ResultListControl *list = x.w->Rlt_iecachesubdir;
        // 直接全屏: MP3 and PNG rows go to the shell on a double-click.
        for (const char *name : {"r.mp3", "s.png"}) {
            x.w->Rlt_iecachesubdir_RowDblClick(x.row(name));
            QCOMPARE(x.w.launcher.opened.last(), x.folder() + "/" + name);
            QVERIFY(!x.w->viewershowing());
        }
        x.w->Rlt_iecachesubdir_RowDblClick(x.row("p03.jpg"));
        QVERIFY(x.w->viewershowing());
        x.v()->exitfullscreen();
        // Enter on the list opens the viewer whatever the row is.
        list->setCurrentRow(x.row("r.mp3"));
        x.w->Rlt_iecachesubdir_ListKey(13, 0);
        QVERIFY(x.w->viewershowing());
        QVERIFY(!x.v()->img_fullscreen->haspicture());
        QCOMPARE(x.w->wmp->URL(), x.folder() + "/r.mp3");
        x.v()->exitfullscreen();
        // The preview board: middle button and keys open, left and right do nothing.
        emit x.w->Pic_imgboard->MouseUp(1);
        emit x.w->Pic_imgboard->MouseUp(2);
        QVERIFY(!x.w->viewershowing());
        emit x.w->Pic_imgboard->MouseUp(4);
        QVERIFY(x.w->viewershowing());
        x.v()->exitfullscreen();
        emit x.w->Pic_imgboard->KeyUp(32);
        QVERIFY(x.w->viewershowing());
        x.v()->exitfullscreen();

        // 看图程序: nothing opens the viewer; everything goes to the shell.
        x.w->opt_picopenmode[1]->click();
        QVERIFY(!x.w->common.picfullscreenopen);
        const int opened = x.w.launcher.opened.size();
        x.w->Rlt_iecachesubdir_RowDblClick(x.row("p03.jpg"));
        list->setCurrentRow(x.row("p04.jpg"));
        x.w->Rlt_iecachesubdir_ListKey(13, 0);
        emit x.w->Img_largeview->DblClick();
        QVERIFY(!x.w->viewershowing());
        QCOMPARE(x.w.launcher.opened.mid(opened),
                 QStringList(
                     {x.folder() + "/p03.jpg", x.folder() + "/p04.jpg", x.folder() + "/p04.jpg"}));
    }

    void viewerClosesWithTheMainWindow()
    {
        ViewerWindow x;
        x.open(0);
        x.w->close();
        QVERIFY(!x.w->viewershowing());
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
