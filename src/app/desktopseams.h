#pragma once

#include "common/seams.h"

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

  private:
    QWidget *m_owner;
};

// The desktop's own opener, given a local-file URL: no shell ever parses the name.
class DesktopLauncher : public ShellLauncher
{
  public:
    bool open(const QString &path) override;
};

class PrimaryScreen : public ScreenInfo
{
  public:
    QSize size() const override;
};

} // namespace vellomar
