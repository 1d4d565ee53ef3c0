#pragma once

#include <QWidget>

class QMediaPlayer;
class QAudioOutput;
class QSlider;
class QToolButton;
class QLabel;

namespace vellomar {

// The media player of the preview: its own play/pause, seek bar and time are visible; setting
// the URL starts playback, close() stops it and lets go of the file.
class MediaPlayer : public QWidget
{
    Q_OBJECT
  public:
    explicit MediaPlayer(QWidget *parent = nullptr);
    ~MediaPlayer() override;

    QString URL() const { return m_url; }
    void setURL(const QString &path);
    void close();

    QMediaPlayer *player();
    int volume() const;

  private:
    void updatetime();
    void updatebutton();

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audio = nullptr;
    QToolButton *m_playpause;
    QSlider *m_seek;
    QLabel *m_time;
    QString m_url;
};

// "m:ss" for a position in milliseconds.
QString clocktext(qint64 ms);

} // namespace vellomar
