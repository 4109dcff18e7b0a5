// The window's frame and status bar, the login panel, the keyboard, the accessibility
// interface and the reveal step, on an offscreen desktop screen and two smaller screens.

#include "agentcard.h"
#include "application.h"
#include "drivenstate.h"
#include "loginpanel.h"
#include "mainwindow.h"
#include "relayserver.h"
#include "setuppanel.h"
#include "statusbar.h"
#include "techbanner.h"

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QWindow>

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void activityColour_data();
    void activityColour();
    void relayTextInTooltips();
    void downloadProgress();
    void followsBusy();
    void fieldsWriteThrough_data();
    void fieldsWriteThrough();
    void keyboardSignIn();
    void tabFollowsReadingOrder();

    void fitsTheScreen_data();
    void fitsTheScreen();
    void revealStep();
    void revealAfterActivation();

private:
    void moveTo(const QString &screenName);

    RelayServer *m_relay = nullptr;
    DrivenState *m_state = nullptr;
    MainWindow *m_window = nullptr;
};

void TestWindow::init()
{
    m_relay = new RelayServer(this);
    QVERIFY(m_relay->listen() != 0);
    auto platform = std::make_shared<TestPlatform>();
    platform->deploymentValues.defaultApiRoot = m_relay->baseUrl().toString();
    platform->deploymentValues.downloadServer = m_relay->baseUrl();
    auto state = std::make_unique<DrivenState>(platform);
    m_state = state.get();
    m_window = new MainWindow(std::move(state));
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void TestWindow::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_state = nullptr;
    delete m_relay;
    m_relay = nullptr;
}

void TestWindow::moveTo(const QString &screenName)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    QScreen *screen = *std::find_if(
        screens.begin(), screens.end(), [&](QScreen *each) { return each->name() == screenName; });
    m_window->move(screen->availableGeometry().topLeft());
    m_window->windowHandle()->setScreen(screen);
    QTRY_COMPARE(m_window->screen(), screen);
    Application::revealStep();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void TestWindow::activityColour_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");
    QTest::newRow("failure prefix") << QStringLiteral("登录失败：账号或密码不正确") << true;
    QTest::newRow("success") << QStringLiteral("登录成功，请选择渠道接口后接入。") << false;
    QTest::newRow("half of the marker") << QStringLiteral("失去连接") << false;
}

void TestWindow::activityColour()
{
    QFETCH(QString, text);
    QFETCH(bool, red);
    TextLabel *label = m_window->statusBar()->activityLabel();
    const QColor plain = label->colour();
    m_state->setActivity(text);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->colour() != plain, red);
}

void TestWindow::relayTextInTooltips()
{
    // Text from the relay reads as it is, the way a tooltip shows it: Qt renders anything that
    // merely looks like markup as rich text.
    const QString text = QStringLiteral("登录失败：<img width=1800 src=x><h1>大</h1> & <b>");
    m_state->setActivity(text);
    m_state->setModels({ RemoteModel { text, QStringLiteral("o") } });
    m_state->setSelectedModel(text);
    for (const QWidget *widget : { static_cast<QWidget *>(m_window->statusBar()->activityLabel()),
             static_cast<QWidget *>(m_window->setupPanel()->modelPicker()) }) {
        QTextDocument shown;
        if (Qt::mightBeRichText(widget->toolTip()))
            shown.setHtml(widget->toolTip());
        else
            shown.setPlainText(widget->toolTip());
        QCOMPARE(shown.toPlainText(), text);
    }
}

void TestWindow::downloadProgress()
{
    StatusBar *bar = m_window->statusBar();
    m_state->setDownloadProgress(true, 250, 1000);
    QVERIFY(bar->progress()->isVisible());
    QCOMPARE(bar->progress()->fraction(), 0.25);
    m_state->setDownloadProgress(false, 1000, 1000);
    QVERIFY(!bar->progress()->isVisible());
}

void TestWindow::followsBusy()
{
    LoginPanel *panel = m_window->loginPanel();
    const Symbol idle = m_window->statusBar()->statusSymbol()->symbol();
    m_state->setBusy(true);
    QVERIFY(m_window->statusBar()->statusSymbol()->symbol() != idle);
    QVERIFY(!panel->loginButton()->isEnabled());
    QVERIFY(!panel->clearButton()->isEnabled());
    QVERIFY(panel->emailField()->edit()->isEnabled());
    // Downloads wait; connecting refuses by itself, so its buttons stay enabled.
    for (const AgentCard *card : m_window->setupPanel()->cards()) {
        QVERIFY(!card->downloadButton()->isEnabled());
        QVERIFY(card->connectButton()->isEnabled());
    }
    m_state->setBusy(false);
    QCOMPARE(m_window->statusBar()->statusSymbol()->symbol(), idle);
    QVERIFY(panel->loginButton()->isEnabled());
}

void TestWindow::fieldsWriteThrough_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("expected");
    QTest::newRow("address typed into") << 0 << QByteArray("routerURL") << "typing"
                                        << "abXcd";
    QTest::newRow("e-mail replaced by an assistive tool") << 1 << QByteArray("username") << "replaceText"
                                                          << "new";
    QTest::newRow("password inserted into by an assistive tool")
        << 2 << QByteArray("password") << "insertText"
        << "abcdX";
    QTest::newRow("e-mail set as the accessible value") << 1 << QByteArray("username") << "value"
                                                        << "new";
}

void TestWindow::fieldsWriteThrough()
{
    QFETCH(int, field);
    QFETCH(QByteArray, property);
    QFETCH(QString, way);
    QFETCH(QString, expected);
    LoginPanel *panel = m_window->loginPanel();
    QLineEdit *edit
        = QList { panel->addressField(), panel->emailField(), panel->passwordField() }[field]->edit();
    m_state->setProperty(property, QStringLiteral("abcd"));
    QCOMPARE(edit->text(), QStringLiteral("abcd"));
    const QSignalSpy changes(m_state, QByteArray("2" + property + "Changed()").constData());

    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(edit);
    QVERIFY(accessible && accessible->editableTextInterface());
    if (way == QLatin1String("typing")) {
        edit->setFocus();
        edit->setCursorPosition(2);
        QTest::keyClicks(edit, QStringLiteral("X"));
        QCOMPARE(edit->cursorPosition(), 3); // the state's echo does not move the cursor
    } else if (way == QLatin1String("replaceText")) {
        accessible->editableTextInterface()->replaceText(0, 4, expected);
    } else if (way == QLatin1String("insertText")) {
        accessible->editableTextInterface()->insertText(4, QStringLiteral("X"));
    } else {
        accessible->setText(QAccessible::Value, expected);
    }
    QCOMPARE(m_state->property(property).toString(), expected);
    QCOMPARE(changes.count(), 1);

    // A change the state makes shows at once and is not written back.
    m_state->setProperty(property, QString());
    QCOMPARE(edit->text(), QString());
    QCOMPARE(changes.count(), 2);
}

void TestWindow::keyboardSignIn()
{
    LoginPanel *panel = m_window->loginPanel();
    // No field holds the focus at first, and the first Tab reaches the first field.
    QCOMPARE(QApplication::focusWidget(), m_window);
    const auto tab = [] {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        return QApplication::focusWidget();
    };
    QCOMPARE(tab(), panel->addressField()->edit());
    QCOMPARE(tab(), panel->emailField()->edit());
    QTest::keyClicks(QApplication::focusWidget(), m_relay->account().email);
    QCOMPARE(tab(), panel->passwordField()->edit());
    QTest::keyClicks(QApplication::focusWidget(), m_relay->account().password);
    // Return in a field starts nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    QVERIFY(!m_state->busy()); // a sign-in would have begun at once
    QVERIFY(m_relay->requests().isEmpty());

    const QString waiting = m_window->setupPanel()->techBanner()->statusLabel()->text();
    QCOMPARE(tab(), panel->loginButton());
    QTest::keyClick(panel->loginButton(), Qt::Key_Space);
    QTRY_VERIFY(m_state->authenticated());
    QCOMPARE(panel->loginButton()->text(), QStringLiteral("重新同步账户"));
    QVERIFY(m_window->setupPanel()->techBanner()->statusLabel()->text() != waiting);
    QTRY_VERIFY(!panel->accountCard()->visibleRegion().isEmpty());
}

void TestWindow::tabFollowsReadingOrder()
{
    // On the small screen, where both panels scroll, every control is reached in reading
    // order, has a name for assistive technology and is scrolled wholly into view.
    moveTo(QStringLiteral("laptop"));
    LoginPanel *login = m_window->loginPanel();
    SetupPanel *setup = m_window->setupPanel();
    QList<QWidget *> order { login->addressField()->edit(), login->emailField()->edit(),
        login->passwordField()->edit(), login->loginButton(), login->clearButton(), setup->groupPicker(),
        setup->modelPicker(), setup->effortPicker(), setup->recheckButton() };
    for (AgentCard *card : setup->cards())
        order << card->downloadButton() << card->connectButton();
    m_window->setFocus();
    for (QWidget *control : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), control);
        QVERIFY(!control->accessibleName().isEmpty());
        QTRY_COMPARE(control->visibleRegion().boundingRect(), control->rect());
    }
}

void TestWindow::fitsTheScreen_data()
{
    QTest::addColumn<QStringList>("screens"); // where the window is taken, in order
    QTest::addColumn<bool>("roomy");
    QTest::newRow("desktop") << QStringList { QStringLiteral("desktop") } << true;
    QTest::newRow("laptop") << QStringList { QStringLiteral("laptop") } << false;
    QTest::newRow("narrow") << QStringList { QStringLiteral("narrow") } << false;
    QTest::newRow("back to the desktop")
        << QStringList { QStringLiteral("laptop"), QStringLiteral("desktop") } << true;
}

void TestWindow::fitsTheScreen()
{
    QFETCH(QStringList, screens);
    QFETCH(bool, roomy);
    for (const QString &screen : screens)
        moveTo(screen);
    const QRect available = m_window->screen()->availableGeometry();
    QCOMPARE(m_window->frameGeometry().center(), available.center());
    QCOMPARE(m_window->size(), roomy ? MainWindow::defaultSize : m_window->size());
    QCOMPARE(m_window->minimumSize(), roomy ? MainWindow::minimumContentSize : m_window->minimumSize());
    if (!roomy)
        QCOMPARE(m_window->frameGeometry().size(), available.size());
    // Made as small as it goes, the window still holds its content's minimum, and the status
    // bar stays whole at its foot while the panels scroll.
    m_window->resize(1, 1);
    QVERIFY(m_window->minimumSizeHint().height() <= m_window->height());
    QVERIFY(m_window->minimumSizeHint().width() <= m_window->width());
    StatusBar *bar = m_window->statusBar();
    QTRY_COMPARE(bar->mapTo(m_window, QPoint(0, bar->height())).y(), m_window->height());
    QCOMPARE(bar->height(), bar->sizeHint().height());
}

void TestWindow::revealStep()
{
    m_window->resize(1200, 780);
    m_window->move(3, 4);
    Application::revealStep();
    QCOMPARE(m_window->size(), MainWindow::defaultSize);
    QCOMPARE(m_window->frameGeometry().center(), m_window->screen()->availableGeometry().center());
    QTRY_COMPARE(QApplication::activeWindow(), m_window);
    const QRect geometry = m_window->geometry();
    Application::revealStep(); // a second run changes nothing
    QCOMPARE(m_window->geometry(), geometry);

    // With no window open, the step does nothing and opens none.
    m_window->close();
    const int windows = QApplication::topLevelWidgets().size();
    Application::revealStep();
    QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    QVERIFY(!m_window->isVisible());
}

void TestWindow::revealAfterActivation()
{
    // The first of two windows is the one revealed; the second has its own state.
    auto second = std::make_unique<MainWindow>(std::make_shared<TestPlatform>());
    second->show();
    QVERIFY(&second->state() != &m_window->state());
    m_window->resize(1190, 770);
    second->resize(1190, 770);
    auto *app = qobject_cast<Application *>(QCoreApplication::instance());
    QVERIFY(app);
    app->revealMainWindow(Application::revealDelay);
    QTRY_COMPARE(m_window->size(), MainWindow::defaultSize);
    QCOMPARE(second->size(), QSize(1190, 770));
}

int main(int argc, char *argv[])
{
    // A desktop screen and, beside it, 1366 × 768 and 1024 × 768 screens less a 32-point panel.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" VELMORA_TEST_DATA "/screens.json");
    Application app(argc, argv);
    TestWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_window.moc"
