#include "application.h"

#include "mainwindow.h"
#include "platform/platform.h"
#include "theme.h"
#include "uitexts.h"

#include <QDir>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {
const QString notInstalledText = QStringLiteral("Velmora Connect 安装不完整，缺少 %1。");
const QString noAnswerText = QStringLiteral("Velmora Connect 已在运行，但没有响应。");

void printError(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stderr);
}
} // namespace

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("velmora-connect"));
    setApplicationDisplayName(UiTexts::applicationName);
    // The menu entry's id, by which desktops match the window to its entry and icon.
    setDesktopFileName(QStringLiteral("com.velmora.Connect"));
    QIcon icon;
    for (const QFileInfo &size : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files))
        icon.addFile(size.filePath());
    setWindowIcon(icon);
    Theme::apply();

    // "Launch finished" is the first turn of the event loop.
    revealMainWindow(revealDelay);
    connect(this, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            revealMainWindow(revealDelay);
    });
    connect(&m_singleInstance, &SingleInstance::activationRequested, this,
        [this] { revealMainWindow(revealDelay); });
}

std::optional<int> Application::leaveEarly()
{
    const std::shared_ptr<Platform> platform = systemPlatform();
    for (const QString &tool : { platform->securityTool(), platform->launchctlTool() }) {
        if (!QFileInfo(tool).isExecutable()) {
            printError(notInstalledText.arg(tool));
            return 1;
        }
    }
    switch (m_singleInstance.claim()) {
    case SingleInstance::Role::Primary:
        return std::nullopt;
    case SingleInstance::Role::Forwarded:
        return 0;
    case SingleInstance::Role::Unanswered:
        break;
    }
    printError(noAnswerText);
    return 1;
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
