#pragma once

#include <QList>
#include <QWidget>
#include <memory>

class ConnectState;
class LoginPanel;
class Platform;
class QMessageBox;
class SetupPanel;
class StatusBar;

// The application's one window: header, the login and setup panels side by side, and the
// status bar, over a dark gradient. It owns its ConnectState.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    // A window on the real system.
    explicit MainWindow(QWidget *parent = nullptr);
    // A window on `platform`.
    explicit MainWindow(std::shared_ptr<Platform> platform, QWidget *parent = nullptr);
    // A window that takes over `state`.
    explicit MainWindow(std::unique_ptr<ConnectState> state, QWidget *parent = nullptr);
    ~MainWindow() override;

    static constexpr QSize defaultSize { 1280, 840 };
    static constexpr QSize minimumContentSize { 1180, 760 };

    // The application's main windows in the order they were made.
    static QList<MainWindow *> windows();

    ConnectState &state() const { return *m_state; }
    LoginPanel *loginPanel() const { return m_loginPanel; }
    SetupPanel *setupPanel() const { return m_setupPanel; }
    StatusBar *statusBar() const { return m_statusBar; }
    // The Codex download confirmation, while it is shown.
    QMessageBox *downloadConfirmation() const { return m_confirmation; }
    bool confirmDownload() const { return m_confirmation != nullptr; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *header();
    void askToDownloadCodex();

    ConnectState *m_state;
    LoginPanel *m_loginPanel;
    SetupPanel *m_setupPanel;
    StatusBar *m_statusBar;
    QMessageBox *m_confirmation = nullptr;
};
