#pragma once

#include <QApplication>
#include <chrono>

class MainWindow;

// The application: its name, look and fonts, and the reveal step that brings the main window
// to the front at its standard size, centred, 0.2 s after launch and after every activation.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    static constexpr std::chrono::milliseconds revealDelay { 200 };

    // Schedules the reveal step once, `delay` from now.
    void revealMainWindow(std::chrono::milliseconds delay);
    // The reveal step: the first main window, if any, at its standard size, centred, raised,
    // active.
    static void revealStep();
    // The application's first open main window, or none.
    static MainWindow *mainWindow();
};
