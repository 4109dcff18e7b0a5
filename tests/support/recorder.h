#pragma once

#include <QObject>
#include <QStringList>

class ConnectState;

// Records the notify signal of every property of a state, by property name, in the order
// emitted, and every text that `activity` took.
class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(ConnectState &state);

    QStringList names;
    QStringList activities;

private Q_SLOTS:
    void record();

private:
    ConnectState &m_state;
};
