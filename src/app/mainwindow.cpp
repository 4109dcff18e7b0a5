#include "mainwindow.h"

#include "confirmdialog.h"
#include "loginpanel.h"
#include "setuppanel.h"
#include "state/connectstate.h"
#include "statusbar.h"
#include "surface.h"
#include "symbolview.h"
#include "textlabel.h"
#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>
#include <QDesktopServices>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace {

QList<MainWindow *> &registry()
{
    static QList<MainWindow *> windows;
    return windows;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(
        systemPlatform([](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }),
        parent)
{
}

MainWindow::MainWindow(std::shared_ptr<Platform> platform, QWidget *parent)
    : MainWindow(std::make_unique<ConnectState>(std::move(platform)), parent)
{
}

MainWindow::MainWindow(std::unique_ptr<ConnectState> state, QWidget *parent)
    : QWidget(parent)
    , m_state(state.release())
    , m_loginPanel(new LoginPanel(*m_state, this))
    , m_setupPanel(new SetupPanel(*m_state, this))
    , m_statusBar(new StatusBar(*m_state, this))
{
    m_state->setParent(this);
    registry().append(this);
    setWindowTitle(UiTexts::applicationName);
    // The window itself holds the focus at first, so that no field claims it (and no caret
    // blinks) until the user picks one.
    setFocusPolicy(Qt::ClickFocus);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header());
    layout->addWidget(divider());
    layout->addLayout(body(), 1);
    layout->addWidget(m_statusBar);
    setReadingOrder();
    resize(standardSize());
    fitScreen();

    connect(m_setupPanel, &SetupPanel::codexDownloadRequested, this, &MainWindow::askToDownloadCodex);
}

MainWindow::~MainWindow()
{
    registry().removeAll(this);
}

QList<MainWindow *> MainWindow::windows()
{
    return registry();
}

QSize MainWindow::room() const
{
    const QScreen *screen = this->screen();
    if (!screen)
        return defaultSize;
    // The frame is known once the window is shown; before that it counts as none.
    const QSize frame = frameGeometry().size() - size();
    return screen->availableGeometry().size() - frame;
}

QSize MainWindow::standardSize() const
{
    const QSize room = this->room();
    return defaultSize.boundedTo(room) == defaultSize ? defaultSize : room;
}

void MainWindow::fitScreen()
{
    // Where the screen is smaller than the window's standard size, the window takes what there
    // is: the panels scroll, and the header and the status bar stay in view.
    // Never below what the content needs, though: squeezed further, it would overlap.
    const QSize room = this->room();
    setMinimumSize(minimumContentSize.boundedTo(room).expandedTo(layout()->minimumSize()));
    if (size() != size().boundedTo(room))
        resize(size().boundedTo(room));
}

void MainWindow::followScreen(QScreen *screen)
{
    disconnect(m_screenConnection);
    if (screen)
        m_screenConnection
            = connect(screen, &QScreen::availableGeometryChanged, this, &MainWindow::fitScreen);
    fitScreen();
}

void MainWindow::setReadingOrder()
{
    QWidget *previous = this;
    for (QWidget *control : m_loginPanel->focusOrder() + m_setupPanel->focusOrder()) {
        setTabOrder(previous, control);
        previous = control;
    }
}

QWidget *MainWindow::divider()
{
    auto *divider = new QWidget(this);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette palette = divider->palette();
    palette.setColor(QPalette::Window, Theme::white(0.1));
    divider->setPalette(palette);
    return divider;
}

QLayout *MainWindow::body()
{
    auto *body = new QHBoxLayout;
    body->setContentsMargins(22, 14, 22, 14);
    body->setSpacing(20);
    // Both panels grow with the window; the setup panel gets the larger share so that its
    // picker row leaves the model picker room for a whole model id.
    body->addWidget(m_loginPanel, 5, Qt::AlignTop);
    body->addWidget(m_setupPanel, 7);
    return body;
}

QWidget *MainWindow::header()
{
    auto *header = new QWidget(this);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(28, 14, 28, 14);
    layout->setSpacing(8);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(6);
    auto *tagRow = new QHBoxLayout;
    tagRow->setSpacing(8);
    QFont tagFont = Theme::font(11, QFont::ExtraBold);
    tagFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.4);
    tagRow->addWidget(new SymbolView(Symbol::hexagonFill, 11, Theme::accent, header));
    tagRow->addWidget(new TextLabel(UiTexts::headerTag, tagFont, Theme::accent, header));
    tagRow->addStretch();
    titles->addLayout(tagRow);
    titles->addWidget(new TextLabel(UiTexts::headerTitle, Theme::font(28, QFont::Bold), Qt::white, header));
    layout->addLayout(titles);
    layout->addStretch();

    auto *badge = new Surface(
        Theme::withAlpha(Theme::success, 0.1), Theme::withAlpha(Theme::success, 0.28), -1, header);
    auto *badgeLayout = new QHBoxLayout(badge);
    badgeLayout->setContentsMargins(12, 6, 12, 6);
    badgeLayout->setSpacing(8);
    badgeLayout->addWidget(new SymbolView(Symbol::circleFill, 7, Theme::success, badge), 0, Qt::AlignVCenter);
    badgeLayout->addWidget(
        new TextLabel(UiTexts::localSession, Theme::font(13, QFont::DemiBold), Theme::success, badge), 0,
        Qt::AlignVCenter);
    layout->addWidget(badge, 0, Qt::AlignVCenter);
    return header;
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    connect(windowHandle(), &QWindow::screenChanged, this, &MainWindow::followScreen, Qt::UniqueConnection);
    followScreen(screen());
    if (!focusWidget())
        setFocus(Qt::OtherFocusReason);
}

void MainWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
    gradient.setColorAt(0, Theme::backgroundTop);
    gradient.setColorAt(1, Theme::backgroundBottom);
    painter.fillRect(rect(), gradient);
}

void MainWindow::askToDownloadCodex()
{
    if (m_confirmation)
        return;
    m_confirmation = new ConfirmDialog(
        UiTexts::confirmTitle, UiTexts::confirmMessage, UiTexts::cancel, UiTexts::downloadAndOpen, this);
    m_confirmation->setAttribute(Qt::WA_DeleteOnClose);
    m_confirmation->setWindowModality(Qt::WindowModal);
    // However the dialog closes, the flag goes back; only the download button downloads.
    connect(m_confirmation, &QDialog::finished, this, [this](int result) {
        m_confirmation = nullptr;
        if (result == QDialog::Accepted)
            m_state->downloadCodex();
    });
    m_confirmation->open();
}
