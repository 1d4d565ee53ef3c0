#include "previewarea.h"

#include "entryfiles.h"

#include "fitting.h"
#include "flashplayer.h"
#include "formkit.h"
#include "listedfiles.h"
#include "mediaplayer.h"
#include "mediasignature.h"
#include "numbers.h"
#include "openedfile.h"
#include "picturecache.h"
#include "pictureholder.h"
#include "previewwidgets.h"
#include "resultlistcontrol.h"
#include "seams.h"

#include <QFrame>
#include <QGroupBox>
#include <QRadioButton>

namespace vellomar {

PreviewArea::PreviewArea(QWidget *form, const ListedFiles &list, const Seams &seams)
    : QObject(form), m_list(list), m_seams(seams), Img_test(std::make_unique<PictureHolder>()),
      m_ahead(std::make_unique<PictureCache>())
{
    setObjectName(QStringLiteral("previewarea"));
    createcontrols(form);
    connecthandlers();
}

PreviewArea::~PreviewArea() = default;

void PreviewArea::createcontrols(QWidget *form)
{
    wmp = named(new MediaPlayer(form), "wmp");
    place(wmp, 5600, 1080, 3120, 660);

    auto *box = named(new QFrame(form), "Pic_imgbox");
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    place(box, 5600, 1720, 5610, 4890);
    Pic_imgbox = box;
    Pic_imgboard = named(new PreviewBoard(Pic_imgbox), "Pic_imgboard");
    place(Pic_imgboard, 0, 0, 5535, 4815);
    paintbackground(Pic_imgboard, windowcolour);
    Pic_imgboard->setAccessibleName(QStringLiteral("预览"));

    Img_largeview = named(new ImageControl(Pic_imgboard), "Img_largeview");
    place(Img_largeview, 2400, 120, 2175, 1575);
    Img_largeview->hide();

    Flashbox = named(new FlashPlayer(Pic_imgboard), "Flashbox");
    place(Flashbox, 0, 0, 5535, 4815);
    Flashbox->hide();

    Fra_otheropt = named(new QGroupBox(QStringLiteral("其它选项："), form), "Fra_otheropt");
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

    for (QRadioButton *b :
         {opt_picopenmode[0], opt_picopenmode[1], Opt_picorisizemode[0], Opt_picorisizemode[1]})
        fitoption(b);
    for (QGroupBox *g : {Fra_otheropt, Fra_picopenmode, fra_picorisizemode}) {
        paintbackground(g, windowcolour);
        // Qt names a group box inside another by the outer one's title; say it outright.
        g->setAccessibleName(g->title());
    }
}

void PreviewArea::connecthandlers()
{
    // Only the left button's double-click opens; the right one does nothing.
    const auto leftdouble = [this](int button) {
        if (button == 1)
            emit viewrequested();
    };
    const auto middleup = [this](int button) {
        if (button == 4)
            emit viewrequested();
    };
    connect(Img_largeview, &ImageControl::DblClick, this, leftdouble);
    connect(Img_largeview, &ImageControl::MouseUp, this, middleup);
    connect(Pic_imgboard, &PreviewBoard::DblClick, this, leftdouble);
    connect(Pic_imgboard, &PreviewBoard::MouseUp, this, middleup);
    connect(Pic_imgboard, &PreviewBoard::KeyUp, this, [this](int code) {
        if (code == 13 || code == 32 || code == 27)
            emit viewrequested();
    });
    for (int i = 0; i < 2; ++i) {
        connect(opt_picopenmode[size_t(i)], &QRadioButton::clicked, this,
                [this, i] { opt_picopenmode_Click(i); });
        connect(Opt_picorisizemode[size_t(i)], &QRadioButton::clicked, this,
                [this, i] { Opt_picorisizemode_Click(i); });
    }
}

void PreviewArea::load()
{
    m_common.picfullscreenopen = true;
    m_common.picorisize = true;
}

void PreviewArea::unload()
{
    wmp->close();
    Flashbox->setMovie(QStringLiteral("abc"));
    m_entryfile.reset();
}

void PreviewArea::clear()
{
    wmp->close();
    clearall();
    m_entryfile.reset();
}

QWidget *PreviewArea::board() const
{
    return Pic_imgboard;
}

const QImage &PreviewArea::picture() const
{
    return Img_largeview->image();
}

const QByteArray &PreviewArea::animation() const
{
    return Img_largeview->animation();
}

bool PreviewArea::pictureshown() const
{
    return !Img_largeview->isHidden();
}

void PreviewArea::setbusy(bool busy)
{
    Pic_imgbox->setEnabled(!busy);
    if (busy) {
        Flashbox->setVisible(false);
        Img_largeview->setVisible(false);
    }
}

void PreviewArea::covered()
{
    Pic_imgbox->setUpdatesEnabled(false);
}

void PreviewArea::uncovered()
{
    Pic_imgbox->setUpdatesEnabled(true);
    if (!Flashbox->isHidden())
        Flashbox->Play();
}

void PreviewArea::pauseflash()
{
    Flashbox->Stop();
}

// Nothing previewed: no sound, no movie, no picture.
void PreviewArea::clearall()
{
    Flashbox->unload();
    emit flashunloaded();
    Img_largeview->setVisible(false);
    Img_test->clear();
    Img_largeview->clearpicture();
}

void PreviewArea::dofilelist(const int &row)
{
    emit previewstarted();
    m_entryfile.reset();
    if (const EntrySource *browser = m_list.browsercache())
        return previewentry(row, *browser);
    const ResultRow listed = m_list.row(row);
    const QString &name = listed.name;
    const QString &path = listed.path;
    // Only a plain file of the folder listed is handed on: never a link or a swapped-in folder.
    const PreviewGroup group =
        m_list.holdsplainfile(name) ? previewgroup(path) : PreviewGroup::other;
    switch (group) {
    case PreviewGroup::picture:
        showpicture(path, name);
        return;
    case PreviewGroup::flash: {
        // Opened now, in the folder listed: whatever its path comes to name later is not shown.
        const FolderHandle folder = m_list.openlisted();
        auto movie = OpenedFile::openat(folder.fd(), name);
        if (!movie) {
            wmp->close();
            break;
        }
        return playmovie(path, std::move(movie));
    }
    case PreviewGroup::audio:
        // Only real audio reaches the player: a playlist or manifest would make it fetch.
        if (audiomatches(path))
            wmp->setURL(path);
        else
            wmp->close();
        break;
    case PreviewGroup::other:
        wmp->close();
        break;
    }
    clearall();
}

// A browser's entry: its decoded bytes in a private unnamed file, shown as a row's file is.
void PreviewArea::previewentry(int row, const EntrySource &browser)
{
    const SourceEntry entry = m_list.sourceentry(row);
    const PreviewGroup group = previewgroup(entry.name);
    QString why;
    std::shared_ptr<const OpenedFile> file;
    if (&browser != m_aheadsource)
        m_aheadfiles.clear();
    if (group == PreviewGroup::picture) {
        // Decoded ahead: the picture too, from the same file.
        if (const auto held = m_aheadfiles.find(entry.index); held != m_aheadfiles.end()) {
            const QString ahead = descriptorpath(*held->second);
            if (Img_test->load(ahead, m_ahead.get(), fileidentity(held->second->fd()))) {
                m_entryfile = held->second;
                return placepicture();
            }
        }
    }
    if (group != PreviewGroup::other && !entry.name.isEmpty())
        file = decodedfile(browser, entry, why);
    if (!file) {
        wmp->close();
        return clearall();
    }
    m_entryfile = file;
    const QString path = descriptorpath(*file);
    switch (group) {
    case PreviewGroup::picture:
        if (!Img_test->loadopened(*file))
            return clear();
        return placepicture();
    case PreviewGroup::flash:
        return playmovie(path, std::move(file));
    case PreviewGroup::audio: {
        // By the bytes, as for a plain file: only real audio reaches the player.
        const QByteArray head = file->head(16);
        const MediaSignature s = mediasignature(
            reinterpret_cast<const unsigned char *>(head.constData()), int(head.size()));
        if (audiomatches(entry.name, s))
            wmp->setURL(path);
        else
            wmp->close();
        break;
    }
    case PreviewGroup::other:
        wmp->close();
        break;
    }
    clearall();
}

// A movie opened once, played in the board from that file.
void PreviewArea::playmovie(const QString &path, std::shared_ptr<const OpenedFile> movie)
{
    Img_largeview->clearpicture();
    Img_test->clear();
    Img_largeview->setVisible(false);
    Flashbox->setVisible(true);
    Flashbox->setMovie(path, movie);
    Flashbox->Play();
    emit flashloaded(path, std::move(movie));
    wmp->close();
}

void PreviewArea::showpicture(const QString &path, const QString &name)
{
    // A picture decoded ahead stands for the file only while the file beneath the folder listed
    // is still that one.
    const FolderHandle listed = m_list.openlisted();
    const FileIdentity standing =
        listed.valid() ? plainfileidentityat(listed.fd(), nativepath(name)) : FileIdentity();
    if (!Img_test->load(path, m_ahead.get(), standing))
        return clear();
    placepicture();
}

// The picture measured, fitted to the board and shown.
void PreviewArea::placepicture()
{
    const QSize natural = Img_test->naturalsize();
    if (natural.width() <= 0 || natural.height() <= 0)
        return clear();
    m_common.picwidth = twipsofpixels(natural.width());
    m_common.picheight = twipsofpixels(natural.height());
    const float bw = float(Pic_imgboard->width() * twipsperpixel);
    const float bh = float(Pic_imgboard->height() * twipsperpixel);
    if (bw <= 0 || bh <= 0)
        return clear();
    m_common.previewscale = fitscale(float(m_common.picwidth), float(m_common.picheight), bw, bh);
    const QSize screen = m_seams.screen().size();
    m_common.fullscreenscale =
        fitscale(float(m_common.picwidth), float(m_common.picheight),
                 float(screen.width() * twipsperpixel), float(screen.height() * twipsperpixel));
    if (m_common.picorisize)
        m_common.fullscreenscale = 1.0f;
    Img_largeview->clearpicture();
    const Placement at =
        centred(float(m_common.picwidth), float(m_common.picheight), m_common.previewscale, bw, bh);
    Img_largeview->setGeometry(qRound(at.left / twipsperpixel), qRound(at.top / twipsperpixel),
                               qRound(at.width / twipsperpixel), qRound(at.height / twipsperpixel));
    Img_largeview->setpicture(Img_test->image(), Img_test->data());
    Img_test->clear();
    Img_largeview->setVisible(true);
    wmp->close();
    Flashbox->unload();
    emit flashunloaded();
}

void PreviewArea::prefetch(const std::vector<int> &rows)
{
    QStringList paths;
    if (const EntrySource *browser = m_list.browsercache())
        return prefetchentries(rows, *browser);
    for (int row : rows) {
        if (row < 0 || row >= m_list.rowcount())
            continue;
        const ResultRow &r = m_list.row(row);
        if (m_list.holdsplainfile(r.name) && previewgroup(r.path) == PreviewGroup::picture)
            paths << r.path;
    }
    m_ahead->want(paths);
}

void PreviewArea::setsurface(PictureSurface *surface)
{
    m_ahead->setsurface(surface);
}

// A browser's pictures: their decoded bytes in unnamed files, held while they are wanted, are
// what is decoded ahead.
void PreviewArea::prefetchentries(const std::vector<int> &rows, const EntrySource &browser)
{
    if (&browser != m_aheadsource) { // another cache's entries are numbered anew
        m_aheadfiles.clear();
        m_aheadsource = &browser;
    }
    QStringList paths;
    std::map<size_t, std::shared_ptr<const OpenedFile>> kept;
    for (int row : rows) {
        if (row < 0 || row >= m_list.rowcount())
            continue;
        const SourceEntry entry = m_list.sourceentry(row);
        if (previewgroup(entry.name) != PreviewGroup::picture || entry.size > maxpicturefilebytes)
            continue;
        std::shared_ptr<const OpenedFile> file;
        if (const auto held = m_aheadfiles.find(entry.index); held != m_aheadfiles.end())
            file = held->second;
        QString why;
        if (!file)
            file = decodedfile(browser, entry, why);
        if (!file)
            continue;
        paths << descriptorpath(*file);
        kept.emplace(entry.index, std::move(file));
    }
    m_aheadfiles = std::move(kept);
    m_ahead->want(paths);
}

void PreviewArea::dropahead()
{
    m_ahead->drop();
    m_aheadfiles.clear();
}

void PreviewArea::opt_picopenmode_Click(int index)
{
    m_common.picfullscreenopen = index == 0;
}

void PreviewArea::Opt_picorisizemode_Click(int index)
{
    m_common.picorisize = index == 0;
}

} // namespace vellomar
