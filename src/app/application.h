#pragma once

#include "singleinstance.h"

#include <QApplication>
#include <chrono>
#include <optional>

class MainWindow;

// The application: its name, look and fonts, and the reveal step that brings the main window
// to the front at its standard size, centred, 0.2 s after launch and after every activation.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    // The exit status of a process that must not open a window: a tool the window runs is
    // missing, or the application already runs and was asked to come forward instead.
    std::optional<int> leaveEarly();
    // One running application per user; a second start is an activation of the first.
    SingleInstance &singleInstance() { return m_singleInstance; }

    static constexpr std::chrono::milliseconds revealDelay { 200 };

    // Schedules the reveal step once, `delay` from now.
    void revealMainWindow(std::chrono::milliseconds delay);
    // The reveal step: the first main window, if any, at its standard size, centred, raised,
    // active.
    static void revealStep();
    // The application's first open main window, or none.
    static MainWindow *mainWindow();

private:
    SingleInstance m_singleInstance;
};
