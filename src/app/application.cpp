#include "application.h"

#include "mainwindow.h"
#include "theme.h"
#include "uitexts.h"

#include <QScreen>
#include <QTimer>

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("velmora-connect"));
    setApplicationDisplayName(UiTexts::applicationName);
    Theme::apply();

    // "Launch finished" is the first turn of the event loop.
    revealMainWindow(revealDelay);
    connect(this, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            revealMainWindow(revealDelay);
    });
}

void Application::revealMainWindow(std::chrono::milliseconds delay)
{
    QTimer::singleShot(delay, this, &Application::revealStep);
}

MainWindow *Application::mainWindow()
{
    // A closed window is no longer one of the application's windows.
    for (MainWindow *window : MainWindow::windows()) {
        if (window->isVisible())
            return window;
    }
    return nullptr;
}

void Application::revealStep()
{
    MainWindow *window = mainWindow();
    if (!window)
        return;
    window->fitScreen();
    window->resize(window->standardSize());
    if (QScreen *screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}
