#pragma once

#include "mediasignature.h"

#include <QWidget>
#include <memory>

class QMediaPlayer;
class QAudioOutput;
class QVideoWidget;
class QStackedLayout;

namespace vellomar {

class OpenedFile;
class SwfView;

// The Flash player layer: Movie names the file to show, Play and Stop drive it. An FLV plays in
// Qt Multimedia, an SWF in the Flash player page. A name that is no file ("abc") drops the
// movie and leaves the player silent. An SWF is played from the file opened when it was chosen
// (`opened`, or the path opened at once when none is given), never opened again by its path.
class FlashPlayer : public QWidget
{
    Q_OBJECT
  public:
    explicit FlashPlayer(QWidget *parent = nullptr);
    ~FlashPlayer() override;

    QString Movie() const { return m_movie; }
    void setMovie(const QString &path, std::shared_ptr<const OpenedFile> opened = {});
    void Play();
    void Stop();
    // Unloading is always: Stop, the movie "abc" (which names nothing), hide.
    void unload();

    enum class Kind { None, Video, Swf };
    Kind kind() const { return m_kind; }
    bool playing() const;
    QMediaPlayer *videoplayer() const { return m_video; }
    SwfView *swfview() const { return m_swf; }
    // What a file holds, by its header: "FWS", "CWS" or "ZWS" is Flash, "FLV" video, anything
    // else nothing to play.
    static Kind sniffmovie(const QString &path);

  private:
    static Kind kindof(MediaSignature signature);
    void drop();
    QMediaPlayer *ensurevideo();

    QStackedLayout *m_stack;
    QWidget *m_blank;
    QVideoWidget *m_videowidget = nullptr;
    QMediaPlayer *m_video = nullptr;
    QAudioOutput *m_audio = nullptr;
    SwfView *m_swf = nullptr;
    QString m_movie;
    Kind m_kind = Kind::None;
    bool m_swfplaying = false;
};

} // namespace vellomar
