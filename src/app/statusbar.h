#pragma once

#include "slimprogress.h"
#include "symbolview.h"
#include "textlabel.h"

#include <QWidget>

class ConnectState;

// The foot of the window: the status symbol, the activity text (red when it reports a
// failure), the customer-service contact, the download progress while one runs, and the legend.
class StatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit StatusBar(ConnectState &state, QWidget *parent = nullptr);

    SymbolView *statusSymbol() const { return m_symbol; }
    TextLabel *activityLabel() const { return m_activity; }
    TextLabel *contactLabel() const { return m_contact; }
    SlimProgress *progress() const { return m_progress; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showBusy();
    void showActivity();
    void showProgress();

    ConnectState &m_state;
    SymbolView *m_symbol;
    TextLabel *m_activity;
    TextLabel *m_contact;
    SlimProgress *m_progress;
};
