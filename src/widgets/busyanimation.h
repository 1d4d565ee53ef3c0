#pragma once

#include <QWidget>

class QTimer;

namespace vellomar {

// The animation shown while digging: a spade turning earth, drawn by the program itself.
class BusyAnimation : public QWidget
{
    Q_OBJECT
  public:
    explicit BusyAnimation(QWidget *parent = nullptr);
    void Play();
    void Stop();
    bool playing() const;

  protected:
    void paintEvent(QPaintEvent *) override;

  private:
    QTimer *m_timer;
    int m_frame = 0;
};

} // namespace vellomar
