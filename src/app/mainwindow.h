#pragma once

#include <QList>
#include <QWidget>
#include <memory>

class ConfirmDialog;
class ConnectState;
class LoginPanel;
class Platform;
class QLayout;
class QScreen;
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

    // The content size the window opens at: the standard size where the screen's available
    // area (less the window's frame) holds it, else all of that area.
    QSize standardSize() const;
    // Lowers the content minimum, and the size, to what the window's screen holds.
    void fitScreen();

    ConnectState &state() const { return *m_state; }
    LoginPanel *loginPanel() const { return m_loginPanel; }
    SetupPanel *setupPanel() const { return m_setupPanel; }
    StatusBar *statusBar() const { return m_statusBar; }
    // The Codex download confirmation, while it is shown.
    ConfirmDialog *downloadConfirmation() const { return m_confirmation; }
    bool confirmDownload() const { return m_confirmation != nullptr; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QSize room() const;
    void followScreen(QScreen *screen);
    void setReadingOrder();
    QWidget *header();
    QWidget *divider();
    QLayout *body();
    void askToDownloadCodex();

    ConnectState *m_state;
    LoginPanel *m_loginPanel;
    SetupPanel *m_setupPanel;
    StatusBar *m_statusBar;
    ConfirmDialog *m_confirmation = nullptr;
    QMetaObject::Connection m_screenConnection;
};
