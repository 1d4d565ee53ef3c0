#pragma once

#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>

struct MHD_Connection;
struct MHD_Daemon;

namespace vellomar {

class OpenedFile;
class SocketOwners;

// Serves the Flash player page, the player's own files and the one movie being shown, read
// only, to this user alone: bound to 127.0.0.1 on a free port, a connection whose other end is
// not this user's socket closed at once, GET and HEAD only, every path under a token made anew
// each run. Anything else is answered 404. What one client may cost is bounded before anything
// is looked at: a few KB of request line and headers that must all be in within a few seconds
// of the connection, a short idle timeout, a cap on connections; none of it delays stop().
class SwfServer
{
  public:
    // `owners` names who holds the other end of each connection; the kernel's tables unless a
    // test gives another.
    explicit SwfServer(std::shared_ptr<const SocketOwners> owners = {});
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

    // Serves an opened file as the movie under the returned serial (0 for none), read from
    // that descriptor until dropmovie() of the serial.
    int addmovie(std::shared_ptr<const OpenedFile> movie);
    void dropmovie(int serial);

    // Whether a page may fetch this URL: only what this listener serves.
    bool allows(const QUrl &url) const;

    static QByteArray playerpage();

  private:
    bool answer(MHD_Connection *connection, const char *url, const char *method, size_t uploadsize,
                void **state);
    bool admits(const sockaddr *address, socklen_t length) const;
    void connected(MHD_Connection *connection);
    void headersin(MHD_Connection *connection);
    void closed(MHD_Connection *connection);
    void watch();

    std::shared_ptr<const SocketOwners> m_owners;
    MHD_Daemon *m_daemon = nullptr;
    std::map<std::string, std::string> m_files;
    mutable std::mutex m_lock;
    std::map<int, std::shared_ptr<const OpenedFile>> m_movies;
    // Connections whose first request's headers are not all in yet, with their socket and the
    // time they must be by; the watch thread cuts off those that pass it.
    struct Waiting {
        int socket;
        std::chrono::steady_clock::time_point deadline;
    };
    std::mutex m_waitlock;
    std::condition_variable m_waitchange;
    std::map<MHD_Connection *, Waiting> m_waiting;
    bool m_stopping = false;
    std::thread m_watch;
    std::atomic<int> m_listenport{0};
    int m_serial = 0;
    std::string m_token;
    int m_port = 0;
};

// Where the player's files are: $VELLOMAR_RUFFLE, beside the program, or in the install's
// share folder. Empty when none holds ruffle.js.
QString rufflefolder();

} // namespace vellomar
