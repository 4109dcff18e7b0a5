#pragma once

#include <QBasicTimer>
#include <QWidget>

// A thin bar for the running download: a share of the whole when the size is known, else a
// sweeping segment. The sweep's timer runs only while the bar is visible and indeterminate.
class SlimProgress : public QWidget
{
    Q_OBJECT
public:
    explicit SlimProgress(QWidget *parent = nullptr);

    // `total` below 1 means unknown.
    void setProgress(qint64 received, qint64 total);
    bool determinate() const { return m_total > 0; }
    // 0…1, when determinate.
    qreal fraction() const;

    QSize sizeHint() const override { return { 120, 4 }; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void updateTimer();

    qint64 m_received = 0;
    qint64 m_total = -1;
    int m_phase = 0;
    QBasicTimer m_timer;
};
