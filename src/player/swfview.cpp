#include "swfview.h"

#include "swfserver.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace vellomar {

// Off unless asked for (QT_LOGGING_RULES="vellomar.flash.debug=true"): what the player does.
Q_LOGGING_CATEGORY(lcflash, "vellomar.flash", QtWarningMsg)

namespace {

// Nothing leaves the machine: every request but those to the player's own listener is blocked.
class LoopbackOnly : public QWebEngineUrlRequestInterceptor
{
  public:
    LoopbackOnly(SwfServer *server, QObject *parent)
        : QWebEngineUrlRequestInterceptor(parent), m_server(server)
    {
    }
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (!m_server->allows(info.requestUrl()))
            info.block(true);
    }

  private:
    SwfServer *m_server;
};

class PlayerPage : public QWebEnginePage
{
  public:
    PlayerPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent) {}

  protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        return SwfView::server()->allows(url);
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {
    }
};

QWebEngineProfile *playerprofile()
{
    static QWebEngineProfile *profile = [] {
        // No storage name: off the record, nothing written to disk.
        auto *p = new QWebEngineProfile(qApp);
        p->setUrlRequestInterceptor(new LoopbackOnly(SwfView::server(), p));
        p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->setSpellCheckEnabled(false);
        QWebEngineSettings *s = p->settings();
        s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
        s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
        s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
        s->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
        s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        return p;
    }();
    return profile;
}

QString jsstring(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (c.unicode() < 0x20 || c == QChar(0x2028) || c == QChar(0x2029))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}

} // namespace

SwfServer *SwfView::server()
{
    static SwfServer *s = [] {
        auto *server = new SwfServer;
        const QString folder = rufflefolder();
        if (server->start(folder))
            qCDebug(lcflash) << "player files from" << folder << "on 127.0.0.1 port"
                             << server->port();
        else
            qCWarning(lcflash) << "no Flash player files found; SWF movies will not play";
        // Ends with the application, before the web engine goes.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [server] { server->stop(); });
        return server;
    }();
    return s;
}

SwfView::SwfView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!server()->running())
        return;
    m_view = new QWebEngineView(this);
    m_view->setPage(new PlayerPage(playerprofile(), m_view));
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    m_view->page()->setBackgroundColor(QColor(0xdd, 0xdd, 0xff));
    layout->addWidget(m_view);
    connect(m_view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_ready = ok;
        if (!ok)
            return;
        const QStringList pending = std::exchange(m_pending, {});
        for (const QString &script : pending)
            run(script);
    });
    m_view->load(server()->pageurl());
}

SwfView::~SwfView()
{
    server()->dropmovie(m_serial);
}

bool SwfView::available() const
{
    return m_view != nullptr;
}

void SwfView::run(const QString &script)
{
    if (!m_view)
        return;
    if (!m_ready) {
        m_pending << script;
        return;
    }
    m_view->page()->runJavaScript(script);
}

void SwfView::load(const QString &path, std::shared_ptr<const OpenedFile> movie)
{
    if (!m_view)
        return;
    server()->dropmovie(m_serial);
    m_serial = server()->addmovie(std::move(movie));
    m_pending.clear();
    run(QStringLiteral("window.vellomarLoad(%1);")
            .arg(jsstring(server()->movieurl(m_serial).toString())));
    if (lcflash().isDebugEnabled())
        trace(path, 60);
}

QUrl SwfView::movieurl() const
{
    return m_serial > 0 ? server()->movieurl(m_serial) : QUrl();
}

void SwfView::trace(const QString &path, int polls)
{
    QTimer::singleShot(500, this, [this, path, polls] {
        querystate([this, path, polls](const State &s) {
            const QString what = s.playing  ? QStringLiteral("playing")
                                 : s.loaded ? QStringLiteral("loaded")
                                            : QStringLiteral("loading");
            qCDebug(lcflash).noquote() << QStringLiteral("movie %1: %2").arg(path, what);
            if (!s.playing && polls > 1)
                trace(path, polls - 1);
        });
    });
}

void SwfView::play()
{
    run(QStringLiteral("window.vellomarPlay();"));
}

void SwfView::pause()
{
    run(QStringLiteral("window.vellomarPause();"));
}

void SwfView::unload()
{
    server()->dropmovie(std::exchange(m_serial, 0));
    m_pending.clear();
    run(QStringLiteral("window.vellomarLoad(\"\");"));
}

void SwfView::querystate(const std::function<void(const State &)> &answer)
{
    if (!m_view || !m_ready) {
        answer(State{});
        return;
    }
    m_view->page()->runJavaScript(
        QStringLiteral("window.vellomarState()"), [answer](const QVariant &v) {
            const QJsonObject o = QJsonDocument::fromJson(v.toString().toUtf8()).object();
            answer(State{true, o.value(QStringLiteral("loaded")).toBool(),
                         o.value(QStringLiteral("playing")).toBool(),
                         o.value(QStringLiteral("error")).toString()});
        });
}

} // namespace vellomar
