#include "swfserver.h"

#include "openedfile.h"
#include "platform.h"
#include "socketowner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

namespace vellomar {

namespace {

// Movies larger than this are not served: nothing in a browser cache comes near it.
constexpr long long largestmovie = 256LL * 1024 * 1024;

// What one connection may hold: its request line and headers must fit, with room left for the
// answer's headers, so a header flood is cut off (431) after a few KB. The web engine's requests
// are well under 1 KB.
constexpr size_t connectionmemory = 8 * 1024;
// A client that neither sends nor reads for this long is dropped...
constexpr unsigned int strangertimeout = 2;
// ...unless it has shown the token: the web engine may stall on a big file while it compiles.
constexpr unsigned int ownclienttimeout = 30;
// The web engine opens at most six connections to a host; an address that is not its own
// (any 127.x.y.z reaches the listener) cannot take them all.
constexpr unsigned int connectionlimit = 64;
constexpr unsigned int connectionsperaddress = 32;
// From accept to the end of the first request's headers, however steadily the bytes come: the
// web engine sends a request in one piece.
constexpr std::chrono::seconds headerdeadline{3};

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

// A response that MHD sends from its own descriptor and closes. Null on failure.
MHD_Response *fdresponse(int fd, long long size)
{
    if (fd < 0)
        return nullptr;
    MHD_Response *r = nullptr;
    if (size <= largestmovie)
        r = MHD_create_response_from_fd64(uint64_t(size), fd);
    if (!r)
        ::close(fd);
    return r;
}

// The player's own files, from the install, by path.
MHD_Response *fileresponse(const std::string &path)
{
    std::error_code ec;
    long long size = 0;
    const int fd = openplainfile(path, &size, ec);
    return fdresponse(fd, size);
}

// An opened movie: MHD reads it with pread, so a copy of the descriptor may be sent on several
// connections at once and outlive the movie's place in the list.
MHD_Response *movieresponse(const OpenedFile &movie)
{
    return fdresponse(::fcntl(movie.fd(), F_DUPFD_CLOEXEC, 0), movie.size());
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

SwfServer::SwfServer(std::shared_ptr<const SocketOwners> owners)
    : m_owners(owners ? std::move(owners) : std::make_shared<KernelSocketOwners>())
{
}

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

    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Called on the listener's own thread once a request's line and headers are all in, and again
    // when its body has been read.
    const MHD_AccessHandlerCallback handler =
        [](void *self, MHD_Connection *connection, const char *url, const char *method,
           const char *, const char *, size_t *uploadsize, void **state) -> MHD_Result {
        return static_cast<SwfServer *>(self)->answer(connection, url, method, *uploadsize, state)
                   ? MHD_YES
                   : MHD_NO;
    };
    // Called on the listener's thread right after accept, before anything is read.
    const MHD_AcceptPolicyCallback policy = [](void *self, const sockaddr *peer,
                                               socklen_t length) -> MHD_Result {
        return static_cast<const SwfServer *>(self)->admits(peer, length) ? MHD_YES : MHD_NO;
    };
    const MHD_NotifyConnectionCallback notify = [](void *self, MHD_Connection *connection, void **,
                                                   MHD_ConnectionNotificationCode code) {
        auto *server = static_cast<SwfServer *>(self);
        if (code == MHD_CONNECTION_NOTIFY_STARTED)
            server->connected(connection);
        else
            server->closed(connection);
    };
    {
        const std::lock_guard<std::mutex> guard(m_waitlock);
        m_stopping = false;
    }
    m_watch = std::thread([this] { watch(); });
    // One polling thread (epoll) serves every connection, so a slow client holds no one up; the
    // inter-thread channel lets stop() wake it at once.
    m_daemon = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ITC, 0, policy, this, handler, this,
        MHD_OPTION_SOCK_ADDR, reinterpret_cast<const sockaddr *>(&address),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, connectionmemory, MHD_OPTION_CONNECTION_TIMEOUT,
        strangertimeout, MHD_OPTION_CONNECTION_LIMIT, connectionlimit,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, connectionsperaddress, MHD_OPTION_STRICT_FOR_CLIENT, 1,
        MHD_OPTION_NOTIFY_CONNECTION, notify, this, MHD_OPTION_END);
    const MHD_DaemonInfo *info =
        m_daemon ? MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    m_port = info ? info->port : 0;
    m_listenport = m_port;
    if (m_port <= 0) {
        stop();
        return false;
    }
    return true;
}

void SwfServer::stop()
{
    // Wakes the polling thread, closes every connection and joins it; nothing waits on a client.
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    m_port = 0;
    m_listenport = 0;
    if (m_watch.joinable()) {
        {
            const std::lock_guard<std::mutex> guard(m_waitlock);
            m_stopping = true;
            m_waiting.clear();
        }
        m_waitchange.notify_all();
        m_watch.join();
    }
}

bool SwfServer::admits(const sockaddr *address, socklen_t length) const
{
    // The other end of the connection must be a socket of this user's, bound to the address
    // the connection comes from and connected to this listener. Unknown is refused.
    const int port = m_listenport;
    const auto peer = SocketEnd::of(address, length);
    if (port <= 0 || !peer)
        return false;
    const SocketEnd us = SocketEnd::ipv4({127, 0, 0, 1}, std::uint16_t(port));
    const auto owner = m_owners->owner(*peer, us);
    return owner && *owner == unsigned(::geteuid());
}

void SwfServer::connected(MHD_Connection *connection)
{
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info)
        return;
    {
        const std::lock_guard<std::mutex> guard(m_waitlock);
        m_waiting[connection] =
            Waiting{info->connect_fd, std::chrono::steady_clock::now() + headerdeadline};
    }
    m_waitchange.notify_all();
}

void SwfServer::headersin(MHD_Connection *connection)
{
    const std::lock_guard<std::mutex> guard(m_waitlock);
    m_waiting.erase(connection);
}

void SwfServer::closed(MHD_Connection *connection)
{
    // MHD closes the socket after this returns: the watch never touches a closed descriptor.
    const std::lock_guard<std::mutex> guard(m_waitlock);
    m_waiting.erase(connection);
}

void SwfServer::watch()
{
    std::unique_lock<std::mutex> lock(m_waitlock);
    while (!m_stopping) {
        const auto now = std::chrono::steady_clock::now();
        auto next = std::chrono::steady_clock::time_point::max();
        for (auto it = m_waiting.begin(); it != m_waiting.end();) {
            if (it->second.deadline <= now) {
                // The polling thread sees the connection end and closes it itself.
                ::shutdown(it->second.socket, SHUT_RDWR);
                it = m_waiting.erase(it);
            } else {
                next = std::min(next, it->second.deadline);
                ++it;
            }
        }
        if (next == std::chrono::steady_clock::time_point::max())
            m_waitchange.wait(lock);
        else
            m_waitchange.wait_until(lock, next);
    }
}

bool SwfServer::answer(MHD_Connection *connection, const char *url, const char *method,
                       size_t uploadsize, void **state)
{
    const bool readonly =
        (std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
         std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0) &&
        !MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH) &&
        !MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                     MHD_HTTP_HEADER_TRANSFER_ENCODING);
    // A request answered on the first call has its connection closed after the answer (MHD
    // will not read past an unread body): right for anything that is not a plain GET or HEAD.
    // Those wait for the second call, so their connection may serve the next request.
    static int headersread;
    if (!*state) {
        *state = &headersread;
        headersin(connection);
        if (readonly)
            return true;
    } else if (uploadsize != 0) {
        return false;
    }

    MHD_Response *response = nullptr;
    std::string name;
    // The path is "/<token>/<name>", already unescaped; anything else is not ours.
    const std::string path = url;
    const size_t slash = path.find('/', 1);
    if (readonly && !path.empty() && path[0] == '/' && slash != std::string::npos &&
        sametoken(path.substr(1, slash - 1), m_token)) {
        name = path.substr(slash + 1);
        if (name == "player.html") {
            const QByteArray page = playerpage();
            response = MHD_create_response_from_buffer(
                size_t(page.size()), const_cast<char *>(page.constData()), MHD_RESPMEM_MUST_COPY);
        } else if (name == "movie.swf") {
            const char *n = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "n");
            int serial = 0;
            if (n)
                std::from_chars(n, n + std::strlen(n), serial);
            std::shared_ptr<const OpenedFile> movie;
            {
                const std::lock_guard<std::mutex> guard(m_lock);
                const auto it = m_movies.find(serial);
                if (it != m_movies.end())
                    movie = it->second;
            }
            if (movie)
                response = movieresponse(*movie);
        } else {
            const auto it = m_files.find(name);
            if (it != m_files.end())
                response = fileresponse(it->second);
        }
    }
    unsigned int status = MHD_HTTP_OK;
    if (response) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, mimetype(name));
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
        MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
        MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, ownclienttimeout);
    } else {
        status = MHD_HTTP_NOT_FOUND;
        response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        if (!response)
            return false;
        // One request each for a client without the token: its next would have no deadline.
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    }
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
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

int SwfServer::addmovie(std::shared_ptr<const OpenedFile> movie)
{
    if (!movie)
        return 0;
    const std::lock_guard<std::mutex> guard(m_lock);
    const int serial = ++m_serial;
    m_movies[serial] = std::move(movie);
    return serial;
}

void SwfServer::dropmovie(int serial)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_movies.erase(serial);
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
