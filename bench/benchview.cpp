// Previewing a big photo, and stepping through pictures full screen, against decoding alone.
#include "bench.h"

#include "frm_main.h"
#include "frm_picfullscreen.h"
#include "previewarea.h"
#include "resultlistcontrol.h"
#include "samplecache.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest/QTest>

namespace vellomar::bench {

int benchview(const QStringList &args)
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/cache";
    const QString folder = root + "/Content.IE5/AAAAAAAA";
    QDir().mkpath(folder);
    const bool stepping = args.value(1) == QLatin1String("stepping");
    const int count = stepping ? 200 : 1;
    for (int i = 0; i < count; ++i) {
        const QString name =
            QStringLiteral("%1/pic%2[1].jpg").arg(folder).arg(i, 3, 10, QLatin1Char('0'));
        if (stepping)
            sample::writejpeg(name, 1920, 1080, 85);
        else
            sample::writejpeg(name, 6000, 4000, 90);
    }
    qputenv("VELLOMAR_CACHE", root.toUtf8());
    frm_main w{Seams()};
    w.Form_Load();
    w.show();
    QApplication::processEvents();
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    const auto decode = [&](int n) {
        for (int i = 0; i < n; ++i) {
            QImageReader r(folder + "/" + files[i]);
            r.read();
        }
    };
    if (!stepping) {
        compare(
            QStringLiteral("preview of a 6000 x 4000 JPEG"), 1.2, 5, {}, [&] { decode(1); },
            [&] { w.findChild<PreviewArea *>()->dofilelist(0); });
        return 0;
    }
    compare(
        QStringLiteral("full-screen stepping through 200 pictures"), 1.3, 5,
        [&] {
            w.findChild<ResultListControl *>()->setCurrentRow(0);
            w.viewcurrentfile();
            QApplication::processEvents();
        },
        [&] { decode(200); },
        [&] {
            frm_picfullscreen *viewer = w.findChild<frm_picfullscreen *>();
            QComboBox *list = viewer->Cbo_scrollpic;
            for (int i = 1; i < 200; ++i) {
                QTest::keyClick(list, Qt::Key_Down);
                QApplication::processEvents(); // each picture is painted
            }
            viewer->exitfullscreen();
        });
    return 0;
}

} // namespace vellomar::bench
