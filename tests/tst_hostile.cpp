#include "filelistbox.h"
#include "flashplayer.h"
#include "frm_picfullscreen.h"
#include "hostilecache.h"
#include "resultlistcontrol.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QListWidget>
#include <QSlider>
#include <QtTest>
#include <sys/stat.h>

using namespace vellomar;
using namespace vellomar::test;

namespace {

QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        files[p] = readcontent(p);
    }
    return files;
}

bool isplainfile(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
  private slots:
    void theWholeProgramHolds()
    {
        QTemporaryDir dir;
        HostileCache h;
        QVERIFY(h.make(dir.path() + "/cache", dir.path() + "/outside"));
        const QMap<QString, QByteArray> outside = snapshot(h.outside);
        const QString down = dir.path() + "/down/";
        QDir().mkpath(down);
        Window w;
        w.load(h.root, down);

        // The linked folder is not a cache folder.
        QCOMPARE(w->lst_TmpIntDir->count(), 3);

        // Every folder, under every type option and a few size ranges: no row names a file that
        // is not a plain file of the folder, and every row previews.
        const QList<QPair<int, int>> ranges{{2, 16}, {1, 16}, {1, 1}, {16, 12}};
        for (int k = 0; k < 3; ++k) {
            w->lst_TmpIntDir->setCurrentRow(k);
            for (int option = 0; option < 8; ++option) {
                w.browser().Opt_filetype_Click(option);
                for (const auto &range : ranges) {
                    w->SlD_maxfilesize->setValue(range.second);
                    w->SlD_minfilesize->setValue(range.first);
                    w->SlD_maxfilesize->setValue(range.second);
                    ResultListControl *list = w->Rlt_iecachesubdir;
                    for (int r = 0; r < list->RowCount(); ++r) {
                        const QString path =
                            w->flt_iecachesubdir->Path() + "/" + list->CellText(r, 2);
                        QVERIFY2(isplainfile(path), qPrintable(path));
                        w.preview().dofilelist(r);
                    }
                }
            }
        }

        // The viewer steps through every row of every folder.
        w.browser().Opt_filetype_Click(0);
        w->SlD_minfilesize->setValue(1);
        w->SlD_maxfilesize->setValue(16);
        for (int k = 0; k < 3; ++k) {
            w->lst_TmpIntDir->setCurrentRow(k);
            const int n = w->Rlt_iecachesubdir->RowCount();
            QVERIFY(n > 0);
            w->Rlt_iecachesubdir->setCurrentRow(0);
            w.form().viewcurrentfile();
            QVERIFY(w.form().viewershowing());
            QComboBox *list = w.viewer()->Cbo_scrollpic;
            for (int i = 0; i < n; ++i) {
                QTest::keyClick(list, Qt::Key_Space);
                if (!w.form().viewershowing())
                    w.form().viewcurrentfile();
                QTest::keyClick(w.viewer()->Cbo_scrollpic, Qt::Key_Down);
            }
            QCOMPARE(w.viewer()->Cbo_scrollpic->currentIndex(), n - 1);
            QTest::keyClick(w.viewer()->Cbo_scrollpic, Qt::Key_Escape);
            QVERIFY(!w.form().viewershowing());
        }

        // Dig everything: every plain file arrives intact, nothing else, nothing half-written.
        QMap<QString, QByteArray> sources;
        int plain = 0;
        for (int k = 0; k < 3; ++k) {
            const QString folder = h.root + "/Content.IE5/" + w->lst_TmpIntDir->item(k)->text();
            for (const QString &name :
                 QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden)) {
                if (isplainfile(folder + "/" + name) && !name.startsWith('.') &&
                    !name.contains(QChar(0xfffd))) {
                    sources.insert(name, readcontent(folder + "/" + name));
                    ++plain;
                }
            }
        }
        w.dig().Cmd_autodownall_Click();
        QCOMPARE(w.dig().counters().totalfiles(), qint64(plain));
        QMap<QString, QByteArray> dug = snapshot(down + QString::fromUtf8("挖到的资源"));
        QVERIFY(dug.remove(down + QString::fromUtf8("挖到的资源/manifest.csv")) == 1);
        QCOMPARE(dug.size(), plain);
        for (auto it = dug.cbegin(); it != dug.cend(); ++it) {
            const QString name = QFileInfo(it.key()).fileName();
            QVERIFY2(!name.startsWith(".vellomar-"), qPrintable(name));
            QVERIFY2(sources.contains(name), qPrintable(name));
            QVERIFY2(sources.value(name) == it.value(), qPrintable(name));
        }
        QVERIFY(!QFile::exists(QDir::currentPath() + "/pwned"));

        // Empty the class folders and the cache: links go as links, nothing outside changes.
        // The class folders are emptied; the record of what was dug stays.
        w.dig().cmd_killall_Click();
        QCOMPARE(snapshot(down + QString::fromUtf8("挖到的资源")).keys(),
                 QStringList{down + QString::fromUtf8("挖到的资源/manifest.csv")});
        w.browser().Cmd_cleariecache_Click();
        for (int k = 0; k < 3; ++k) {
            const QString folder = h.root + "/Content.IE5/" + w->lst_TmpIntDir->item(k)->text();
            QVERIFY(QDir(folder)
                        .entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                   QDir::NoDotAndDotDot)
                        .isEmpty());
        }
        QVERIFY(QFileInfo(h.root + "/Content.IE5/LINKEDDIR").isSymLink());
        QCOMPARE(snapshot(h.outside), outside);
        QCOMPARE(w.dialogs.informs, QStringList());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestHostile t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_hostile.moc"
