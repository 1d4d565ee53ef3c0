#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

class QWebEngineView;

namespace vellomar {

class OpenedFile;
class SwfServer;

// One SWF movie playing in the Flash player page. The page is made when the first view is,
// so a program that never shows an SWF never starts the web engine.
class SwfView : public QWidget
{
    Q_OBJECT
  public:
    explicit SwfView(QWidget *parent = nullptr);
    ~SwfView() override;

    // False when the player's files are missing.
    bool available() const;
    // Shows the opened movie (`path` only names it); it is served while it is shown, and no
    // longer once another is loaded, it is unloaded or the view goes.
    void load(const QString &path, std::shared_ptr<const OpenedFile> movie);
    void play();
    void pause();
    void unload();
    // Where the page fetches the movie shown; empty when none is.
    QUrl movieurl() const;

    struct State {
        bool pageready = false;
        bool loaded = false;
        bool playing = false;
        QString error;
    };
    // Asks the page; the answer comes later, on the window's thread.
    void querystate(const std::function<void(const State &)> &answer);

    static SwfServer *server();

  private:
    void run(const QString &script);
    void trace(const QString &path, int polls);

    QWebEngineView *m_view = nullptr;
    bool m_ready = false;
    QStringList m_pending;
    int m_serial = 0;
};

} // namespace vellomar
