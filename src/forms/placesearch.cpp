#include "placesearch.h"

#include "cachesearch.h"
#include "formkit.h"
#include "texts.h"

#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

namespace vellomar {

namespace {
constexpr int progressintervalms = 100;
}

PlaceSearch::PlaceSearch(QWidget *form, QWidget *board)
    : QObject(form), m_search(new CacheSearch(this))
{
    setObjectName(QStringLiteral("placesearch"));
    // Where the dig shows its progress: the two never run at once.
    pic_searchbox = named(new QWidget(board), "pic_searchbox");
    place(pic_searchbox, 360, 2880, 4935, 855);
    paintbackground(pic_searchbox, windowcolour);
    lbl_search = named(new QLabel(pic_searchbox), "lbl_search");
    place(lbl_search, 0, 30, 3735, 795);
    lbl_search->setWordWrap(true);
    lbl_search->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cmd_cancelsearch =
        named(new QPushButton(texts::cancelsearchtext, pic_searchbox), "cmd_cancelsearch");
    place(cmd_cancelsearch, 3795, 210, 1080, 435);
    cmd_cancelsearch->setAccessibleName(texts::cancelsearchname);
    cmd_cancelsearch->setToolTip(texts::cancelsearchname + QStringLiteral("（Esc）"));
    pic_searchbox->hide();

    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), form);
    m_escape->setContext(Qt::WindowShortcut);
    m_escape->setEnabled(false);
    m_ticker = new QTimer(this);
    m_ticker->setInterval(progressintervalms);

    connect(cmd_cancelsearch, &QPushButton::clicked, this, &PlaceSearch::cancel);
    connect(m_escape, &QShortcut::activated, this, &PlaceSearch::cancel);
    connect(m_ticker, &QTimer::timeout, this, &PlaceSearch::showprogress);
    connect(m_search, &CacheSearch::finished, this,
            [this](const QString &place, const std::vector<FoundCache> &caches, bool cancelled) {
                m_ticker->stop();
                m_escape->setEnabled(false);
                pic_searchbox->hide();
                if (!cancelled && !m_dropped)
                    emit found(place, caches);
            });
}

PlaceSearch::~PlaceSearch() = default;

void PlaceSearch::start(const QString &place)
{
    m_dropped = false;
    m_search->start(place);
    showprogress();
    pic_searchbox->show();
    pic_searchbox->raise();
    m_escape->setEnabled(true);
    m_ticker->start();
}

void PlaceSearch::cancel()
{
    m_dropped = true;
    m_search->cancel();
    cmd_cancelsearch->setEnabled(false);
}

bool PlaceSearch::searching() const
{
    return m_search->running();
}

void PlaceSearch::showprogress()
{
    cmd_cancelsearch->setEnabled(m_search->running());
    lbl_search->setText(texts::searchingtext(m_search->place(), m_search->foldersread()));
}

} // namespace vellomar
