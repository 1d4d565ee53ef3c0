#pragma once

#include "sharedvalues.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <array>
#include <map>
#include <memory>
#include <vector>

class QGroupBox;
class QRadioButton;
class QWidget;

namespace vellomar {

class FlashPlayer;
class OpenedFile;
class EntrySource;
class ImageControl;
class ListedFiles;
class MediaPlayer;
class PictureCache;
class PictureSurface;
class PictureHolder;
class PreviewBoard;
class Seams;

// The preview: the media player, the board with the picture and the Flash player, and the
// options for opening pictures. It shows the rows of the list it is given.
class PreviewArea : public QObject
{
    Q_OBJECT
  public:
    PreviewArea(QWidget *form, const ListedFiles &list, const Seams &seams);
    ~PreviewArea() override;

    void load();
    // Stops every player and lets go of its file.
    void unload();
    // Nothing previewed: no sound, no movie, no picture.
    void clear();

    void dofilelist(const int &row);
    void showpicture(const QString &path, const QString &name);
    void playmovie(const QString &path, std::shared_ptr<const OpenedFile> movie);
    // Decodes the pictures of these rows ahead, the first the likeliest to be shown: only a plain
    // file of the folder listed that is a picture by its type, as dofilelist would show it.
    void prefetch(const std::vector<int> &rows);
    // Lets the pictures decoded ahead go.
    void dropahead();
    const PictureCache &ahead() const { return *m_ahead; }
    // Where the pictures decoded ahead go; none by default.
    void setsurface(PictureSurface *surface);
    void opt_picopenmode_Click(int index);
    void Opt_picorisizemode_Click(int index);

    const SharedPictureValues &common() const { return m_common; }
    // The board the dig's progress and report cover.
    QWidget *board() const;
    // The picture previewed, and its bytes when it is animated.
    const QImage &picture() const;
    const QByteArray &animation() const;
    bool pictureshown() const;
    // The measuring image: it holds a picture only while one is being worked out.
    const PictureHolder &measuring() const { return *Img_test; }

    // While a dig runs, nothing here can be used and nothing plays.
    void setbusy(bool busy);
    // The viewer covers the board: it need not be painted, and its Flash movie waits.
    void covered();
    void uncovered();
    void pauseflash();

  signals:
    // A preview begins: whatever covered the board gives way.
    void previewstarted();
    // The Flash movie previewed, as it was opened, or none any more: the viewer shows the same.
    void flashloaded(const QString &path, std::shared_ptr<const OpenedFile> movie);
    void flashunloaded();
    // A gesture on the board that opens the current row.
    void viewrequested();

  private:
    void createcontrols(QWidget *form);
    void connecthandlers();
    void clearall();
    void previewentry(int row, const EntrySource &browser);
    void prefetchentries(const std::vector<int> &rows, const EntrySource &browser);
    void placepicture();

    const ListedFiles &m_list;
    const Seams &m_seams;
    MediaPlayer *wmp;
    QWidget *Pic_imgbox;
    PreviewBoard *Pic_imgboard;
    ImageControl *Img_largeview;
    std::unique_ptr<PictureHolder> Img_test;
    std::unique_ptr<PictureCache> m_ahead;
    FlashPlayer *Flashbox;
    QGroupBox *Fra_otheropt;
    QGroupBox *Fra_picopenmode;
    std::array<QRadioButton *, 2> opt_picopenmode{};
    QGroupBox *fra_picorisizemode;
    std::array<QRadioButton *, 2> Opt_picorisizemode{};

    SharedPictureValues m_common;
    // A browser entry's decoded bytes, held while they are previewed.
    std::shared_ptr<const OpenedFile> m_entryfile;
    // The browser's pictures decoded ahead, by their entries.
    std::map<size_t, std::shared_ptr<const OpenedFile>> m_aheadfiles;
    const EntrySource *m_aheadsource = nullptr;
};

} // namespace vellomar
