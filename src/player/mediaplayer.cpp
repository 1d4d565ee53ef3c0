#include "mediaplayer.h"

#include "icontheme.h"
#include "medianetwork.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace vellomar {

QString clocktext(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

MediaPlayer::MediaPlayer(QWidget *parent)
    : QWidget(parent), m_playpause(new QToolButton(this)),
      m_seek(new QSlider(Qt::Horizontal, this)), m_time(new QLabel(this))
{
    setAccessibleName(QStringLiteral("媒体播放器"));
    m_playpause->setAutoRaise(true);
    m_seek->setAccessibleName(QStringLiteral("播放进度"));
    m_seek->setToolTip(QStringLiteral("播放进度"));
    m_seek->setRange(0, 0);
    m_time->setAccessibleName(QStringLiteral("播放时间"));
    m_time->setText(clocktext(0) + QStringLiteral(" / ") + clocktext(0));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(4);
    row->addWidget(m_playpause);
    row->addWidget(m_seek, 1);
    row->addWidget(m_time);

    connect(m_playpause, &QToolButton::clicked, this, [this] {
        if (m_player && m_player->playbackState() == QMediaPlayer::PlayingState)
            m_player->pause();
        else if (!m_url.isEmpty())
            player()->play();
    });
    connect(m_seek, &QSlider::sliderMoved, this, [this](int p) {
        if (m_player)
            m_player->setPosition(p);
    });
    updatebutton();
}

QMediaPlayer *MediaPlayer::player()
{
    // Made on first use: the media framework costs start-up time that a preview may never need.
    if (m_player)
        return m_player;
    removenetworksources();
    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_player->setAudioOutput(m_audio);
    m_audio->setVolume(0.5f);
    connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 d) {
        m_seek->setRange(0, int(d));
        updatetime();
    });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 p) {
        if (!m_seek->isSliderDown())
            m_seek->setValue(int(p));
        updatetime();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &MediaPlayer::updatebutton);
    return m_player;
}

MediaPlayer::~MediaPlayer()
{
    if (m_player)
        m_player->stop();
}

int MediaPlayer::volume() const
{
    return m_audio ? qRound(m_audio->volume() * 100) : 50;
}

void MediaPlayer::setURL(const QString &path)
{
    m_url = path;
    player()->setSource(QUrl::fromLocalFile(path));
    m_player->play();
}

void MediaPlayer::close()
{
    if (m_player) {
        m_player->stop();
        m_player->setSource(QUrl());
    }
    m_url.clear();
    m_seek->setRange(0, 0);
    updatetime();
}

void MediaPlayer::updatetime()
{
    m_time->setText(clocktext(m_player ? m_player->position() : 0) + QStringLiteral(" / ") +
                    clocktext(m_player ? m_player->duration() : 0));
}

namespace {

// Play and pause as drawn here, for a desktop whose icon theme has none.
QIcon drawnbutton(bool pause)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 60));
    if (pause) {
        p.drawRect(QRectF(3, 2, 4, 12));
        p.drawRect(QRectF(9, 2, 4, 12));
    } else {
        p.drawPolygon(QPolygonF({QPointF(3, 2), QPointF(14, 8), QPointF(3, 14)}));
    }
    return QIcon(pm);
}

} // namespace

void MediaPlayer::updatebutton()
{
    const bool playing = m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
    m_playpause->setIcon(
        holdsactionicons(QIcon::themeName())
            ? style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay)
            : drawnbutton(playing));
    const QString what = playing ? QStringLiteral("暂停") : QStringLiteral("播放");
    m_playpause->setToolTip(what);
    m_playpause->setAccessibleName(what);
}

} // namespace vellomar
