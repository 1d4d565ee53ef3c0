#include "flashplayer.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QStackedLayout>
#include <QUrl>
#include <QVideoWidget>

namespace vellomar
{

FlashPlayer::FlashPlayer(QWidget *parent)
    : QWidget(parent), m_stack(new QStackedLayout(this)), m_blank(new QWidget(this)),
      m_videowidget(new QVideoWidget(this)), m_video(new QMediaPlayer(this)),
      m_audio(new QAudioOutput(this))
{
    // The player's background, "DDDDFF".
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xdd, 0xdd, 0xff));
    setPalette(p);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_blank);
    m_stack->addWidget(m_videowidget);
    m_video->setVideoOutput(m_videowidget);
    m_video->setAudioOutput(m_audio);
    m_video->setLoops(QMediaPlayer::Infinite);
    m_videowidget->setAspectRatioMode(Qt::KeepAspectRatio);
    setAccessibleName(QStringLiteral("Flash 播放器"));
}

FlashPlayer::~FlashPlayer()
{
    m_video->stop();
}

void FlashPlayer::drop()
{
    m_video->stop();
    m_video->setSource(QUrl());
    m_kind = Kind::None;
    m_swfplaying = false;
    m_stack->setCurrentWidget(m_blank);
}

void FlashPlayer::setMovie(const QString &path)
{
    m_movie = path;
    drop();
    const QFileInfo info(path);
    if (!info.isFile())
        return;
    if (info.suffix().compare(QLatin1String("flv"), Qt::CaseInsensitive) == 0) {
        m_kind = Kind::Video;
        m_video->setSource(QUrl::fromLocalFile(path));
        m_stack->setCurrentWidget(m_videowidget);
        m_video->play(); // a movie starts playing as soon as it is loaded
    }
}

void FlashPlayer::Play()
{
    if (m_kind == Kind::Video)
        m_video->play();
}

void FlashPlayer::Stop()
{
    if (m_kind == Kind::Video)
        m_video->pause();
}

bool FlashPlayer::playing() const
{
    if (m_kind == Kind::Video)
        return m_video->playbackState() == QMediaPlayer::PlayingState;
    return m_swfplaying;
}

} // namespace vellomar
