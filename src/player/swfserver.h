#pragma once

#include <QString>
#include <QUrl>
#include <map>
#include <mutex>
#include <string>

struct MHD_Connection;
struct MHD_Daemon;

namespace vellomar {

// Serves the Flash player page, the player's own files and the one movie being shown, read
// only, to this machine alone: bound to 127.0.0.1 on a free port, GET and HEAD only, every path
// under a token made anew each run. Anything else is answered 404. Any local user can reach the
// port, so what one client may cost is bounded before anything is looked at: a few KB of request
// line and headers, a short idle timeout, a cap on connections; none of it delays stop().
class SwfServer
{
  public:
    SwfServer();
    ~SwfServer();
    SwfServer(const SwfServer &) = delete;
    SwfServer &operator=(const SwfServer &) = delete;

    // Starts listening; the player's files are the plain files directly in `rufflefolder`.
    bool start(const QString &rufflefolder);
    // Closes the listener and every connection, however slow its client.
    void stop();
    bool running() const { return m_port > 0; }

    int port() const { return m_port; }
    QString token() const { return QString::fromStdString(m_token); }
    QUrl base() const;
    QUrl pageurl() const;
    QUrl movieurl(int serial) const;

    // Makes a file the movie served under the returned serial. Only the last few stay served.
    int addmovie(const QString &path);

    // Whether a page may fetch this URL: only what this listener serves.
    bool allows(const QUrl &url) const;

    static QByteArray playerpage();

  private:
    bool answer(MHD_Connection *connection, const char *url, const char *method, size_t uploadsize,
                void **state);

    MHD_Daemon *m_daemon = nullptr;
    std::map<std::string, std::string> m_files;
    mutable std::mutex m_lock;
    std::map<int, std::string> m_movies;
    int m_serial = 0;
    std::string m_token;
    int m_port = 0;
};

// Where the player's files are: $VELLOMAR_RUFFLE, beside the program, or in the install's
// share folder. Empty when none holds ruffle.js.
QString rufflefolder();

} // namespace vellomar
