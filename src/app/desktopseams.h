#pragma once

#include "seams.h"

class QWidget;

namespace vellomar {

// Message boxes captioned "Vellomar", without icon.
class MessageBoxDialogs : public Dialogs
{
  public:
    explicit MessageBoxDialogs(QWidget *owner = nullptr) : m_owner(owner) {}
    void setowner(QWidget *owner) { m_owner = owner; }
    bool confirm(const QString &text) override;
    void inform(const QString &text) override;
    QString choosefolder(const QString &title, const QString &start) override;
    int choosecache(const QString &place, const std::vector<FoundCache> &caches,
                    int preselected) override;

  private:
    QWidget *m_owner;
};

// The desktop's opener (`xdg-open`), started with the path as its one argument: no shell ever
// parses the name. Its exit status, read when it ends, is the outcome; the window does not wait.
class DesktopLauncher : public ShellLauncher
{
  public:
    explicit DesktopLauncher(QString opener = QStringLiteral("xdg-open"))
        : m_opener(std::move(opener))
    {
    }
    void open(const QString &path, std::function<void(bool)> done) override;

  private:
    QString m_opener;
};

class PrimaryScreen : public ScreenInfo
{
  public:
    QSize size() const override;
};

} // namespace vellomar
