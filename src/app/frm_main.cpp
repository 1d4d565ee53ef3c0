#include "frm_main.h"

#include "cache/filelistbox.h"
#include "cache/resultlistcontrol.h"
#include "cache/typefilter.h"
#include "common/platform.h"
#include "common/texts.h"
#include "dig/busyanimation.h"
#include "dig/resourcetree.h"
#include "icons.h"
#include "preview/flashplayer.h"
#include "preview/mediaplayer.h"
#include "preview/pictureholder.h"
#include "preview/previewwidgets.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStandardPaths>
#include <QToolButton>

namespace vellomar {

namespace {

const QColor windowcolour(192, 192, 255);

// Positions in the layout are in twips.
void place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
}

QFont songti(double points)
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPointSizeF(points);
    return f;
}

QFont kaiti(double points)
{
    QFont f;
    f.setFamilies({QStringLiteral("KaiTi_GB2312"), QStringLiteral("楷体_GB2312"),
                   QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPointSizeF(points);
    f.setBold(true);
    return f;
}

void paintbackground(QWidget *w, const QColor &c)
{
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}

template <typename T> T *named(T *w, const char *name)
{
    w->setObjectName(QString::fromUtf8(name));
    return w;
}

QToolButton *iconbutton(QWidget *parent, const char *name, ButtonIcon icon, const QString &tip)
{
    auto *b = named(new QToolButton(parent), name);
    b->setIcon(buttonicon(icon));
    b->setIconSize(QSize(18, 18));
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    return b;
}

QPushButton *pushbutton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = named(new QPushButton(caption, parent), name);
    b->setAccessibleName(caption);
    return b;
}

// The fallback CJK fonts run wider and taller than the originals: a text that does not fit
// its fixed box gets a slightly smaller font instead of being cut.
void shrinktofit(QWidget *w, QFont f, const std::function<bool(const QFont &)> &fits)
{
    w->setFont(f);
    while (f.pointSizeF() > 7 && !fits(f)) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        w->setFont(f);
    }
}

QRadioButton *option(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = named(new QRadioButton(caption, parent), name);
    paintbackground(b, windowcolour);
    return b;
}

void fitoption(QRadioButton *b)
{
    shrinktofit(b, b->font(), [b](const QFont &) { return b->sizeHint().width() <= b->width(); });
}

QSlider *sizeslider(QWidget *parent, const char *name, const QString &what)
{
    auto *s = named(new QSlider(Qt::Horizontal, parent), name);
    s->setRange(1, 16);
    s->setPageStep(1);
    s->setTickPosition(QSlider::NoTicks);
    s->setAccessibleName(what);
    s->setToolTip(what);
    return s;
}

} // namespace

frm_main::frm_main(const Seams &seams, QWidget *parent) : QWidget(parent), m_seams(seams)
{
    setObjectName(QStringLiteral("frm_main"));
    createcontrols();
    connecthandlers();
}

frm_main::~frm_main() = default;

void frm_main::createcontrols()
{
    setFixedSize(pixels(11235), pixels(6645));
    setFont(songti(9));
    paintbackground(this, windowcolour);
    setWindowIcon(appicon());

    lst_TmpIntDir = named(new QListWidget(this), "lst_TmpIntDir");
    place(lst_TmpIntDir, 30, 120, 975, 780);
    lst_TmpIntDir->setSelectionMode(QAbstractItemView::SingleSelection);
    lst_TmpIntDir->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lst_TmpIntDir->setAccessibleName(QStringLiteral("缓存文件夹"));

    flt_iecachesubdir = new FileListBox(this);
    flt_iecachesubdir->setObjectName(QStringLiteral("flt_iecachesubdir"));
    flt_iecachesubdir->setPattern(QString::fromUtf16(typeoptions[starttypeoption].pattern));

    fra_filetype = named(new QGroupBox(QStringLiteral("文件类型："), this), "fra_filetype");
    place(fra_filetype, 1060, 120, 4500, 810);
    Opt_filetype_group = new QButtonGroup(this);
    static const int optionleft[4] = {120, 1200, 2280, 3360};
    for (int i = 0; i < 8; ++i) {
        auto *b = option(fra_filetype, "Opt_filetype",
                         QString::fromUtf16(typeoptions[size_t(i)].caption));
        place(b, optionleft[i % 4], i < 4 ? 240 : 480, 1095, 255);
        Opt_filetype_group->addButton(b, i);
        Opt_filetype[size_t(i)] = b;
    }
    Opt_filetype[starttypeoption]->setChecked(true);

    fra_filesize = named(new QGroupBox(QStringLiteral("文件大小："), this), "fra_filesize");
    place(fra_filesize, 30, 930, 5535, 495);
    lbl_txt_最小 = named(new QLabel(QStringLiteral("最小"), fra_filesize), "lbl_txt_最小");
    place(lbl_txt_最小, 60, 210, 495, 240);
    lbl_minfilesize = named(new QLabel(fra_filesize), "lbl_minfilesize");
    place(lbl_minfilesize, 540, 210, 495, 240);
    SlD_minfilesize = sizeslider(fra_filesize, "SlD_minfilesize", QStringLiteral("最小文件大小"));
    place(SlD_minfilesize, 1020, 180, 1695, 240);
    lbl_txt_最大 = named(new QLabel(QStringLiteral("最大"), fra_filesize), "lbl_txt_最大");
    place(lbl_txt_最大, 2820, 210, 495, 240);
    lbl_maxfilesize = named(new QLabel(fra_filesize), "lbl_maxfilesize");
    place(lbl_maxfilesize, 3300, 210, 495, 240);
    SlD_maxfilesize = sizeslider(fra_filesize, "SlD_maxfilesize", QStringLiteral("最大文件大小"));
    place(SlD_maxfilesize, 3780, 180, 1695, 240);
    for (QLabel *l : {lbl_txt_最小, lbl_minfilesize, lbl_txt_最大, lbl_maxfilesize})
        l->setFont(songti(10.5));
    lbl_minfilesize->setBuddy(SlD_minfilesize);
    lbl_maxfilesize->setBuddy(SlD_maxfilesize);

    Rlt_iecachesubdir = named(new ResultListControl(this), "Rlt_iecachesubdir");
    place(Rlt_iecachesubdir, 0, 1440, 5535, 5175);
    Rlt_iecachesubdir->setFont(songti(9));
    Rlt_iecachesubdir->setAccessibleName(QStringLiteral("文件列表"));

    cmd_downcurall = pushbutton(this, "cmd_downcurall", QStringLiteral("挖取列表"));
    place(cmd_downcurall, 5595, 120, 1160, 375);
    cmd_downcurselect = pushbutton(this, "cmd_downcurselect", QStringLiteral("挖取所选"));
    place(cmd_downcurselect, 6750, 120, 1160, 375);
    cmd_selectdowndir = iconbutton(this, "cmd_selectdowndir", ButtonIcon::choosefolder,
                                   QStringLiteral("请选择挖到资源的存放目录"));
    place(cmd_selectdowndir, 5600, 600, 375, 375);
    cmd_opendowndir =
        iconbutton(this, "cmd_opendowndir", ButtonIcon::openfolder, QStringLiteral("打开资源目录"));
    place(cmd_opendowndir, 5970, 600, 375, 375);
    cmd_killall =
        iconbutton(this, "cmd_killall", ButtonIcon::emptyfolders, QStringLiteral("清空资源目录"));
    place(cmd_killall, 6350, 600, 375, 375);
    Cmd_cleariecache = iconbutton(this, "Cmd_cleariecache", ButtonIcon::clearcache,
                                  QStringLiteral("清空IE缓存目录"));
    place(Cmd_cleariecache, 6720, 600, 375, 375);
    Cmd_refreshfilelist = iconbutton(this, "Cmd_refreshfilelist", ButtonIcon::refresh,
                                     QStringLiteral("刷新文件列表"));
    place(Cmd_refreshfilelist, 7090, 600, 375, 375);
    Cmd_autodownall = pushbutton(this, "Cmd_autodownall", QStringLiteral("挖取全部"));
    place(Cmd_autodownall, 7480, 600, 1230, 375);

    wmp = named(new MediaPlayer(this), "wmp");
    place(wmp, 5600, 1080, 3120, 660);

    Pic_imgbox = named(new QFrame(this), "Pic_imgbox");
    static_cast<QFrame *>(Pic_imgbox)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    place(Pic_imgbox, 5600, 1720, 5610, 4890);
    Pic_imgboard = named(new PreviewBoard(Pic_imgbox), "Pic_imgboard");
    place(Pic_imgboard, 0, 0, 5535, 4815);
    paintbackground(Pic_imgboard, windowcolour);
    Pic_imgboard->setAccessibleName(QStringLiteral("预览"));

    Img_largeview = named(new ImageControl(Pic_imgboard), "Img_largeview");
    place(Img_largeview, 2400, 120, 2175, 1575);
    Img_largeview->hide();
    Img_test = new PictureHolder;

    Flashbox = named(new FlashPlayer(Pic_imgboard), "Flashbox");
    place(Flashbox, 0, 0, 5535, 4815);
    Flashbox->hide();

    FlashDown = named(new BusyAnimation(Pic_imgboard), "FlashDown");
    place(FlashDown, 1920, 1080, 1695, 1575);
    FlashDown->hide();

    pic_downprocesslblbox = named(new QWidget(Pic_imgboard), "pic_downprocesslblbox");
    place(pic_downprocesslblbox, 360, 2880, 4935, 855);
    paintbackground(pic_downprocesslblbox, windowcolour);
    lbl_downprocess = named(new QLabel(pic_downprocesslblbox), "lbl_downprocess");
    place(lbl_downprocess, 0, 30, 4935, 795);
    lbl_downprocess->setFont(songti(12));
    lbl_downprocess->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    {
        QPalette p = lbl_downprocess->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 192));
        lbl_downprocess->setPalette(p);
    }
    setdownprocesscaption(texts::designprogress);
    // Beside the text, a bar that follows its percentage.
    prg_downprocess = named(new QProgressBar(pic_downprocesslblbox), "prg_downprocess");
    prg_downprocess->setRange(0, 100);
    prg_downprocess->setValue(0);
    prg_downprocess->setGeometry(pixels(360), pixels(855) - 14, pixels(4935) - 2 * pixels(360), 12);
    prg_downprocess->setTextVisible(false);
    prg_downprocess->setAccessibleName(QStringLiteral("挖取进度"));
    pic_downprocesslblbox->hide();

    lbl_digresult = named(new QLabel(Pic_imgboard), "lbl_digresult");
    place(lbl_digresult, 0, 0, 5535, 4815);
    lbl_digresult->setFont(kaiti(15));
    lbl_digresult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbl_digresult->setContentsMargins(8, 0, 4, 0);
    {
        QPalette p = lbl_digresult->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 192));
        lbl_digresult->setPalette(p);
    }
    // The report is a label of its own: clicks on it are not clicks on the board beneath.
    lbl_digresult->setAttribute(Qt::WA_NoMousePropagation);
    lbl_digresult->hide();

    Fra_otheropt = named(new QGroupBox(QStringLiteral("其它选项："), this), "Fra_otheropt");
    place(Fra_otheropt, 8760, 120, 2415, 1575);
    Fra_picopenmode = named(new QGroupBox(QStringLiteral("图片文件名双击查看模式"), Fra_otheropt),
                            "Fra_picopenmode");
    place(Fra_picopenmode, 60, 240, 2295, 560);
    opt_picopenmode[0] = option(Fra_picopenmode, "opt_picopenmode", QStringLiteral("直接全屏"));
    place(opt_picopenmode[0], 120, 225, 1095, 255);
    opt_picopenmode[1] = option(Fra_picopenmode, "opt_picopenmode", QStringLiteral("看图程序"));
    place(opt_picopenmode[1], 1160, 225, 1095, 255);
    opt_picopenmode[0]->setChecked(true);
    fra_picorisizemode =
        named(new QGroupBox(QStringLiteral("全屏显示时图片尺寸锁定"), Fra_otheropt),
              "fra_picorisizemode");
    place(fra_picorisizemode, 60, 840, 2295, 615);
    Opt_picorisizemode[0] =
        option(fra_picorisizemode, "Opt_picorisizemode", QStringLiteral("原始尺寸"));
    place(Opt_picorisizemode[0], 120, 240, 1095, 255);
    Opt_picorisizemode[1] =
        option(fra_picorisizemode, "Opt_picorisizemode", QStringLiteral("匹配屏幕"));
    place(Opt_picorisizemode[1], 1160, 240, 1095, 255);
    Opt_picorisizemode[0]->setChecked(true);

    for (QRadioButton *b : Opt_filetype)
        fitoption(b);
    for (QRadioButton *b :
         {opt_picopenmode[0], opt_picopenmode[1], Opt_picorisizemode[0], Opt_picorisizemode[1]})
        fitoption(b);

    for (QGroupBox *g :
         {fra_filetype, fra_filesize, Fra_otheropt, Fra_picopenmode, fra_picorisizemode}) {
        paintbackground(g, windowcolour);
        // Qt names a group box inside another by the outer one's title; say it outright.
        g->setAccessibleName(g->title());
    }
    for (QSlider *s : {SlD_minfilesize, SlD_maxfilesize})
        paintbackground(s, windowcolour);
}

void frm_main::connecthandlers()
{
    // The selection, not the current row: a mouse click moves the current row before it selects.
    connect(lst_TmpIntDir, &QListWidget::itemSelectionChanged, this,
            &frm_main::lst_TmpIntDir_Click);
    connect(flt_iecachesubdir, &FileListBox::PathChange, this, &frm_main::buildresultlist);
    // Runs when a button becomes the chosen one; a click on the chosen one changes nothing.
    connect(Opt_filetype_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Opt_filetype_Click(id);
    });
    connect(SlD_minfilesize, &QSlider::valueChanged, this, &frm_main::SlD_minfilesize_Change);
    connect(SlD_maxfilesize, &QSlider::valueChanged, this, &frm_main::SlD_maxfilesize_Change);
    connect(Cmd_refreshfilelist, &QToolButton::clicked, this, &frm_main::Cmd_refreshfilelist_Click);

    connect(cmd_downcurselect, &QPushButton::clicked, this, &frm_main::cmd_downcurselect_Click);
    connect(cmd_downcurall, &QPushButton::clicked, this, &frm_main::cmd_downcurall_Click);
    connect(Cmd_autodownall, &QPushButton::clicked, this, &frm_main::Cmd_autodownall_Click);
    connect(cmd_selectdowndir, &QToolButton::clicked, this, &frm_main::cmd_selectdowndir_Click);

    connect(cmd_opendowndir, &QToolButton::clicked, this, &frm_main::cmd_opendowndir_Click);
    connect(cmd_killall, &QToolButton::clicked, this, &frm_main::cmd_killall_Click);
    connect(Cmd_cleariecache, &QToolButton::clicked, this, &frm_main::Cmd_cleariecache_Click);

    connect(Rlt_iecachesubdir, &ResultListControl::RowClick, this,
            &frm_main::Rlt_iecachesubdir_RowClick);
    connect(Rlt_iecachesubdir, &ResultListControl::RowDblClick, this,
            &frm_main::Rlt_iecachesubdir_RowDblClick);
    connect(Rlt_iecachesubdir, &ResultListControl::ListKey, this,
            &frm_main::Rlt_iecachesubdir_ListKey);
    // Only the left button's double-click opens; the right one does nothing.
    connect(Img_largeview, &ImageControl::DblClick, this, [this](int button) {
        if (button == 1)
            viewcurrentfile();
    });
    connect(Img_largeview, &ImageControl::MouseUp, this, [this](int button) {
        if (button == 4)
            viewcurrentfile();
    });
    connect(Pic_imgboard, &PreviewBoard::DblClick, this, [this](int button) {
        if (button == 1)
            viewcurrentfile();
    });
    connect(Pic_imgboard, &PreviewBoard::MouseUp, this, [this](int button) {
        if (button == 4)
            viewcurrentfile();
    });
    connect(Pic_imgboard, &PreviewBoard::KeyUp, this, [this](int code) {
        if (code == 13 || code == 32 || code == 27)
            viewcurrentfile();
    });
    for (int i = 0; i < 2; ++i) {
        connect(opt_picopenmode[size_t(i)], &QRadioButton::clicked, this,
                [this, i] { opt_picopenmode_Click(i); });
        connect(Opt_picorisizemode[size_t(i)], &QRadioButton::clicked, this,
                [this, i] { Opt_picorisizemode_Click(i); });
    }
}

QString frm_main::defaultdownloaddir() const
{
    const QString chosen = vellomar::defaultdownloaddir(
        programfolder(), QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    // The user's download folder is theirs to have even before anything was downloaded.
    if (chosen != programfolder())
        QDir().mkpath(chosen);
    return chosen;
}

QString frm_main::storeddownloaddir() const
{
    // The default is worked out (and its folder made) only when no stored value is in force.
    const QString stored = m_seams.settings ? m_seams.settings->read(texts::settingsgroup,
                                                                     texts::settingskey, QString())
                                            : QString();
    const QString usable = usabledownloaddir(stored);
    return usable.isNull() ? defaultdownloaddir() : usable;
}

void frm_main::Form_Load()
{
    SlD_minfilesize->setValue(2);
    SlD_maxfilesize->setValue(16);
    minsizekb = 10;
    maxsizekb = 92160;
    common.picfullscreenopen = true;
    common.picorisize = true;
    getiecachedir();
    setWindowTitle(texts::caption);
    downloaddir = storeddownloaddir();
    makeresdirs();

    Rlt_iecachesubdir->setRedraw(false);
    struct ColumnSpec {
        const char *key;
        const char16_t *caption;
        int width;
        bool flag1;
    };
    static const ColumnSpec columns[] = {
        {"id", u"序号", 35, true},        {"l1", u"", 1, false},
        {"fn", u"原始文件名", 150, true}, {"l2", u"", 1, false},
        {"type", u"类型", 35, true},      {"l3", u"", 1, false},
        {"size", u"实际大小", 60, true},  {"sortsize", u"排序大小", 60, true},
    };
    for (const ColumnSpec &c : columns)
        Rlt_iecachesubdir->AddColumn(QString::fromLatin1(c.key), QString::fromUtf16(c.caption), 2,
                                     c.width, c.flag1, true);
    Rlt_iecachesubdir->setCustomDrawHandler(this);
    Rlt_iecachesubdir->setRedraw(true);

    listsubdirs(iecachedir);
    if (lst_TmpIntDir->count() > 0)
        lst_TmpIntDir->setCurrentRow(0);
}

void frm_main::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frm_main::Form_Unload()
{
    // A running dig ends after its current row.
    m_closing = true;
    wmp->close();
    Flashbox->setMovie(QStringLiteral("abc"));
    closeviewer();
}

void frm_main::setdownprocesscaption(const QString &text)
{
    if (text == m_downprocesscaption)
        return; // no repaint when nothing changed
    m_downprocesscaption = text;
    lbl_downprocess->setText(texts::forlabel(text));
}

void frm_main::setdigresultcaption(const QString &text)
{
    m_digresultcaption = text;
    lbl_digresult->setText(texts::forlabel(text));
    const QRect room = lbl_digresult->contentsRect();
    shrinktofit(lbl_digresult, kaiti(15), [this, room](const QFont &f) {
        return QFontMetrics(f)
                   .boundingRect(room, int(lbl_digresult->alignment()), lbl_digresult->text())
                   .height() <= room.height();
    });
}

} // namespace vellomar
