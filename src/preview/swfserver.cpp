#include "swfserver.h"

#include "common/platform.h"
#include "dig/filecopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <httplib.h>
#include <unistd.h>

namespace vellomar {

namespace {

// Movies larger than this are not served: nothing in a browser cache comes near it.
constexpr long long largestmovie = 256LL * 1024 * 1024;

bool readplain(const std::string &path, std::string &out)
{
    std::error_code ec;
    long long size = 0;
    const int fd = openplainfile(path, &size, ec);
    if (fd < 0)
        return false;
    bool ok = size <= largestmovie;
    if (ok) {
        out.resize(size_t(size));
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
            if (n <= 0) {
                ok = n == 0;
                out.resize(done);
                break;
            }
            done += size_t(n);
        }
    }
    ::close(fd);
    return ok;
}

const char *mimetype(const std::string &name)
{
    const auto ends = [&](const char *e) {
        const size_t n = std::strlen(e);
        return name.size() >= n && name.compare(name.size() - n, n, e) == 0;
    };
    if (ends(".js"))
        return "text/javascript";
    if (ends(".wasm"))
        return "application/wasm";
    if (ends(".html"))
        return "text/html; charset=utf-8";
    if (ends(".json") || ends(".map"))
        return "application/json";
    return "application/octet-stream";
}

std::string maketoken()
{
    static const char digits[] = "0123456789abcdef";
    std::string t;
    for (int i = 0; i < 32; ++i)
        t += digits[QRandomGenerator::system()->bounded(16)];
    return t;
}

bool sametoken(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    unsigned diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff |= unsigned(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

QByteArray SwfServer::playerpage()
{
    // The cache's movies are strangers: no network, no links out, no script bridge.
    return QByteArrayLiteral(R"(<!DOCTYPE html>
<html><head><meta charset="utf-8">
<style>html,body{margin:0;height:100%;overflow:hidden;background:#DDDDFF}#stage{width:100%;height:100%}</style>
<script>
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {
  polyfills: false, autoplay: "on", unmuteOverlay: "hidden", splashScreen: false,
  letterbox: "on", backgroundColor: "#DDDDFF", allowNetworking: "none", openUrlMode: "deny",
  allowScriptAccess: false, upgradeToHttps: false, warnOnUnsupportedContent: false,
  showSwfDownload: false, contextMenu: "off", logLevel: "error", publicPath: "./",
  allowFullscreen: false, socketProxy: [], credentialAllowList: []
};
window.vellomar = { player: null, loaded: false, error: "", wanted: true };
// A stop or play may come before Ruffle has made its instance; the last one asked for is kept
// and applied when the load resolves, which is after Ruffle's own autoplay.
window.vellomarApply = function () {
  const v = window.vellomar, p = v.player;
  if (!p) return;
  if (v.wanted) { if (!p.isPlaying) p.play(); } else if (p.isPlaying) p.pause();
};
window.vellomarLoad = function (url) {
  const stage = document.getElementById("stage");
  if (window.vellomar.player) { window.vellomar.player.remove(); window.vellomar.player = null; }
  window.vellomar.loaded = false;
  window.vellomar.error = "";
  window.vellomar.wanted = true;
  if (!url) return;
  const p = window.RufflePlayer.newest().createPlayer();
  p.style.width = "100%"; p.style.height = "100%";
  p.addEventListener("loadedmetadata", () => { window.vellomar.loaded = true; });
  p.addEventListener("loadeddata", () => { window.vellomar.loaded = true; });
  stage.appendChild(p);
  window.vellomar.player = p;
  p.ruffle().load({ url: url }).then(() => { if (window.vellomar.player === p) window.vellomarApply(); })
    .catch(e => { window.vellomar.error = String(e); });
};
window.vellomarPlay = function () { window.vellomar.wanted = true; window.vellomarApply(); };
window.vellomarPause = function () { window.vellomar.wanted = false; window.vellomarApply(); };
window.vellomarState = function () {
  const p = window.vellomar.player;
  return JSON.stringify({ player: !!p, loaded: window.vellomar.loaded,
    playing: !!(p && p.isPlaying), error: window.vellomar.error });
};
</script>
<script src="ruffle.js"></script>
</head><body><div id="stage"></div></body></html>
)");
}

SwfServer::SwfServer() = default;

SwfServer::~SwfServer()
{
    stop();
}

bool SwfServer::start(const QString &rufflefolder)
{
    if (running())
        return true;
    m_files.clear();
    const QFileInfoList entries =
        QDir(rufflefolder).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &e : entries)
        m_files[e.fileName().toStdString()] = nativepath(e.absoluteFilePath());
    if (m_files.find("ruffle.js") == m_files.end())
        return false;

    m_token = maketoken();
    m_server = std::make_unique<httplib::Server>();
    m_server->set_payload_max_length(4096);
    m_server->set_read_timeout(5, 0);
    m_server->set_write_timeout(30, 0);
    m_server->set_keep_alive_max_count(100);
    m_server->Get(
        R"(/([^/]*)/([^/]*))", [this](const httplib::Request &req, httplib::Response &res) {
            res.status = 404;
            if (!sametoken(req.matches[1].str(), m_token))
                return;
            const std::string name = req.matches[2].str();
            std::string body;
            if (name == "player.html") {
                const QByteArray page = playerpage();
                body.assign(page.constData(), size_t(page.size()));
            } else if (name == "movie.swf") {
                std::string movie;
                {
                    const std::lock_guard<std::mutex> guard(m_lock);
                    const auto it = m_movies.find(std::atoi(req.get_param_value("n").c_str()));
                    if (it != m_movies.end())
                        movie = it->second;
                }
                if (movie.empty() || !readplain(movie, body))
                    return;
            } else {
                const auto it = m_files.find(name);
                if (it == m_files.end() || !readplain(it->second, body))
                    return;
            }
            res.status = 200;
            res.set_header("Cache-Control", "no-store");
            res.set_header("X-Content-Type-Options", "nosniff");
            res.set_content(std::move(body), mimetype(name));
        });
    // Every other path and every other method finds no route: 404 with an empty body.
    m_server->set_error_handler([](const httplib::Request &, httplib::Response &res) {
        res.set_content("", "text/plain");
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        m_port = 0;
        m_server.reset();
        return false;
    }
    m_thread = std::thread([server = m_server.get()] { server->listen_after_bind(); });
    return true;
}

void SwfServer::stop()
{
    if (!m_server)
        return;
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
    m_port = 0;
}

QUrl SwfServer::base() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2/").arg(m_port).arg(token()));
}

QUrl SwfServer::pageurl() const
{
    return base().resolved(QUrl(QStringLiteral("player.html")));
}

QUrl SwfServer::movieurl(int serial) const
{
    // The serial only keeps the page from taking an earlier movie for this one.
    return base().resolved(QUrl(QStringLiteral("movie.swf?n=%1").arg(serial)));
}

int SwfServer::addmovie(const QString &path)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    const int serial = ++m_serial;
    m_movies[serial] = nativepath(path);
    while (m_movies.size() > 4)
        m_movies.erase(m_movies.begin());
    return serial;
}

bool SwfServer::allows(const QUrl &url) const
{
    if (!running())
        return false;
    const QUrl b = base();
    return url.scheme() == QLatin1String("http") && url.host() == b.host() &&
           url.port() == b.port() && url.path().startsWith(b.path()) && url.userInfo().isEmpty();
}

QString rufflefolder()
{
    QStringList candidates;
    const QString env = qEnvironmentVariable("VELLOMAR_RUFFLE");
    if (!env.isEmpty())
        candidates << env;
    const QString app = QCoreApplication::applicationDirPath();
    candidates << app + QStringLiteral("/ruffle")
               << app + QStringLiteral("/../share/vellomar/ruffle");
    for (const QString &c : candidates) {
        if (QFileInfo(c + QStringLiteral("/ruffle.js")).isFile())
            return QDir(c).canonicalPath();
    }
    return QString();
}

} // namespace vellomar
