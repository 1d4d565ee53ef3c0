#include "flashplayer.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QStackedLayout>
#include <QUrl>
#include <QVideoWidget>
#include <unistd.h>

#include "medianetwork.h"
#include "mediasignature.h"
#include "openedfile.h"
#include "platform.h"
#include "swfview.h"

namespace vellomar {

FlashPlayer::FlashPlayer(QWidget *parent)
    : QWidget(parent), m_stack(new QStackedLayout(this)), m_blank(new QWidget(this))
{
    // The player's background, "DDDDFF".
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xdd, 0xdd, 0xff));
    setPalette(p);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_blank);
    setAccessibleName(QStringLiteral("Flash 播放器"));
}

FlashPlayer::~FlashPlayer()
{
    if (m_video)
        m_video->stop();
}

QMediaPlayer *FlashPlayer::ensurevideo()
{
    // Made with the first video: start-up does not pay for the media framework.
    if (m_video)
        return m_video;
    removenetworksources();
    m_videowidget = new QVideoWidget(this);
    m_videowidget->setAspectRatioMode(Qt::KeepAspectRatio);
    m_stack->addWidget(m_videowidget);
    m_video = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_video->setVideoOutput(m_videowidget);
    m_video->setAudioOutput(m_audio);
    m_video->setLoops(QMediaPlayer::Infinite);
    return m_video;
}

void FlashPlayer::drop()
{
    if (m_video) {
        m_video->stop();
        m_video->setSource(QUrl());
    }
    if (m_swf && m_kind == Kind::Swf)
        m_swf->unload();
    m_kind = Kind::None;
    m_swfplaying = false;
    m_stack->setCurrentWidget(m_blank);
}

void FlashPlayer::setMovie(const QString &path, std::shared_ptr<const OpenedFile> opened)
{
    m_movie = path;
    drop();
    if (!opened)
        opened = OpenedFile::open(path);
    // By the bytes of what was opened.
    const QByteArray head = opened ? opened->head(16) : QByteArray();
    switch (kindof(mediasignature(reinterpret_cast<const unsigned char *>(head.constData()),
                                  int(head.size())))) {
    case Kind::Video:
        m_kind = Kind::Video;
        ensurevideo()->setSource(QUrl::fromLocalFile(path));
        m_stack->setCurrentWidget(m_videowidget);
        m_video->play(); // a movie starts playing as soon as it is loaded
        break;
    case Kind::Swf:
        if (!m_swf) {
            m_swf = new SwfView(this);
            m_stack->addWidget(m_swf);
        }
        m_kind = Kind::Swf;
        m_swf->load(path, std::move(opened));
        m_stack->setCurrentWidget(m_swf);
        m_swfplaying = true;
        break;
    case Kind::None:
        break;
    }
}

FlashPlayer::Kind FlashPlayer::sniffmovie(const QString &path)
{
    return kindof(mediasignature(path));
}

FlashPlayer::Kind FlashPlayer::kindof(MediaSignature signature)
{
    // By the bytes alone: anything else (a playlist, a manifest, a page) plays nowhere.
    switch (signature) {
    case MediaSignature::swf:
        return Kind::Swf;
    case MediaSignature::flv:
        return Kind::Video;
    default:
        return Kind::None;
    }
}

void FlashPlayer::Play()
{
    if (m_kind == Kind::Video) {
        m_video->play();
    } else if (m_kind == Kind::Swf) {
        m_swf->play();
        m_swfplaying = true;
    }
}

void FlashPlayer::Stop()
{
    if (m_kind == Kind::Video) {
        m_video->pause();
    } else if (m_kind == Kind::Swf) {
        m_swf->pause();
        m_swfplaying = false;
    }
}

void FlashPlayer::unload()
{
    Stop();
    setMovie(QStringLiteral("abc"));
    setVisible(false);
}

bool FlashPlayer::playing() const
{
    if (m_kind == Kind::Video)
        return m_video->playbackState() == QMediaPlayer::PlayingState;
    return m_swfplaying;
}

} // namespace vellomar
