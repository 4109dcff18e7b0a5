#include "mainwindow.h"

#include "state/connectstate.h"

#include <QLabel>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , m_state(new ConnectState(systemPlatform(), this))
    , m_activity(new QLabel(this))
{
    resize(1280, 840);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_activity);
    m_activity->setText(m_state->activity());
    connect(
        m_state, &ConnectState::activityChanged, this, [this] { m_activity->setText(m_state->activity()); });
}
