// The window: its frame and status bar, the login panel, the keyboard, the accessibility
// interface, the setup panel's pickers, the six agent cards against the local
// relay and the Codex download confirmation, on an offscreen desktop screen and two smaller ones.

#include "agentcard.h"
#include "agentfixtures.h"
#include "application.h"
#include "confirmdialog.h"
#include "drivenstate.h"
#include "loginpanel.h"
#include "mainwindow.h"
#include "relayserver.h"
#include "setuppanel.h"
#include "statusbar.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QWindow>

namespace {

// Picks `row` of `box` as a user does: open the pop-up, move to the entry, press Return.
void choose(QComboBox *box, int row)
{
    box->showPopup();
    QAbstractItemView *view = box->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(row, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void relayTextInTooltips();
    void followsBusy();
    void fieldsWriteThrough_data();
    void fieldsWriteThrough();
    void keyboardSignIn();
    void tabFollowsReadingOrder();
    void fitsTheScreen_data();
    void fitsTheScreen();
    void groupPicker();
    void modelPicker();
    void cardsCallTheirOperations_data();
    void cardsCallTheirOperations();
    void codexDownloadAsksFirst_data();
    void codexDownloadAsksFirst();
    void recheck();
    void checkFromKeyboard();

private:
    void moveTo(const QString &screenName);
    AgentCard *card(int index) const { return m_window->setupPanel()->cards().at(index); }

    std::unique_ptr<RelayServer> m_relay;
    std::shared_ptr<TestPlatform> m_platform;
    DrivenState *m_state = nullptr;
    std::unique_ptr<MainWindow> m_window;
};

void TestWindow::init()
{
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(m_relay->listen() != 0);
    m_platform = std::make_shared<TestPlatform>();
    m_platform->deploymentValues.defaultApiRoot = m_relay->baseUrl().toString();
    m_platform->deploymentValues.downloadServer = m_relay->baseUrl();
    QDir().mkpath(m_platform->downloads);
    auto state = std::make_unique<DrivenState>(m_platform);
    m_state = state.get();
    m_window = std::make_unique<MainWindow>(std::move(state));
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestWindow::cleanup()
{
    m_window.reset();
    m_relay.reset();
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
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
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

void TestWindow::followsBusy()
{
    // Sign-in and downloads wait while busy; connecting refuses by itself, so it stays enabled.
    LoginPanel *panel = m_window->loginPanel();
    for (const bool busy : { true, false }) {
        m_state->setBusy(busy);
        QCOMPARE(panel->loginButton()->isEnabled(), !busy);
        QCOMPARE(panel->clearButton()->isEnabled(), !busy);
        QVERIFY(panel->emailField()->edit()->isEnabled());
        for (const AgentCard *card : m_window->setupPanel()->cards()) {
            QCOMPARE(card->downloadButton()->isEnabled(), !busy);
            QVERIFY(card->connectButton()->isEnabled());
        }
    }
}

void TestWindow::fieldsWriteThrough_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("expected");
    const auto row
        = [](const char *name, int field, const char *property, const char *way, const char *expected) {
              QTest::newRow(name) << field << QByteArray(property) << QString::fromUtf8(way)
                                  << QString::fromUtf8(expected);
          };
    row("address typed into", 0, "routerURL", "typing", "abXcd");
    row("e-mail replaced by an assistive tool", 1, "username", "replaceText", "new");
    row("password inserted into by an assistive tool", 2, "password", "insertText", "abcdX");
    row("e-mail set as the accessible value", 1, "username", "value", "new");
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
    // No field holds the focus at first; Tab goes through the fields in the order checked below.
    QCOMPARE(QApplication::focusWidget(), m_window.get());
    for (const QString &text : { QString(), m_relay->account().email, m_relay->account().password }) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    // Return in a field starts nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    QVERIFY(!m_state->busy()); // a sign-in would have begun at once
    QVERIFY(m_relay->requests().isEmpty());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_VERIFY(m_state->authenticated());
    QTRY_VERIFY(!m_window->loginPanel()->accountCard()->visibleRegion().isEmpty());
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
    if (!roomy)
        QCOMPARE(m_window->frameGeometry().size(), available.size());
    // Made as small as it goes, the window still holds its content's minimum, and the status
    // bar stays whole at its foot while the panels scroll.
    m_window->resize(1, 1);
    QVERIFY(m_window->minimumSizeHint().height() <= m_window->height());
    QVERIFY(m_window->minimumSizeHint().width() <= m_window->width());
    StatusBar *bar = m_window->statusBar();
    QTRY_COMPARE(bar->mapTo(m_window.get(), QPoint(0, bar->height())).y(), m_window->height());
    QCOMPARE(bar->height(), bar->sizeHint().height());
}

void TestWindow::groupPicker()
{
    QComboBox *groups = m_window->setupPanel()->groupPicker();
    const QList<RemoteGroup> list { { 7, QStringLiteral("openai"), QStringLiteral("Team") },
        { 9, QStringLiteral("openai"), QStringLiteral("Team") } };
    m_state->setGroups(list);
    QCOMPARE(groups->itemText(1), list.first().displayName());
    const QString none = groups->currentText();

    // Two entries with the same name stand for their own groups; the first entry for none.
    choose(groups, 2);
    QCOMPARE(m_state->selectedGroupID(), std::optional<qint64>(9));
    choose(groups, 0);
    QCOMPARE(m_state->selectedGroupID(), std::nullopt);
    choose(groups, 1);
    m_state->setSelectedGroupID(std::nullopt); // as signing in and clearing do
    QCOMPARE(groups->currentText(), none);
}

void TestWindow::modelPicker()
{
    QComboBox *models = m_window->setupPanel()->modelPicker();
    m_state->setModels(
        { { QStringLiteral("m-1"), QStringLiteral("x") }, { QStringLiteral("m-2"), QString() } });
    choose(models, 1);
    QCOMPARE(m_state->selectedModel(), QStringLiteral("m-2"));

    // A model not on the list shows as no selection, and the picker writes nothing back.
    m_state->setSelectedModel(QStringLiteral("not-listed"));
    QCOMPARE(models->currentIndex(), -1);
    QCOMPARE(m_state->selectedModel(), QStringLiteral("not-listed"));
}

void TestWindow::cardsCallTheirOperations_data()
{
    QTest::addColumn<int>("index");
    for (int index = 0; index <= int(OfficialInstaller::deepSeek); ++index)
        QTest::addRow("%s", qPrintable(packageFileName(OfficialInstaller(index)))) << index;
}

void TestWindow::cardsCallTheirOperations()
{
    QFETCH(int, index);
    m_state->setUsername(m_relay->account().email);
    m_state->setPassword(m_relay->account().password);
    m_state->login();
    QTRY_VERIFY(m_state->authenticated());
    choose(m_window->setupPanel()->groupPicker(), 1);

    // The connect button runs this agent's configuration: its card alone turns green.
    QTest::mouseClick(card(index)->connectButton(), Qt::LeftButton);
    QTRY_VERIFY(card(index)->connected());
    QTRY_VERIFY(!m_state->busy());
    for (int other = 0; other < 6; ++other)
        QCOMPARE(card(other)->connected(), other == index);

    // The download button fetches this agent's package; Codex asks first.
    m_relay->clearRequests();
    QTest::mouseClick(card(index)->downloadButton(), Qt::LeftButton);
    if (index == 0) {
        QTRY_VERIFY(m_window->confirmDownload());
        m_window->downloadConfirmation()->accept();
    }
    QTRY_VERIFY(!m_relay->requests().isEmpty());
    QCOMPARE(m_relay->requests().first().path,
        QStringLiteral("/agent-packages/") + packageFileName(OfficialInstaller(index)));
    QTRY_VERIFY(!m_state->busy());
}

void TestWindow::codexDownloadAsksFirst_data()
{
    QTest::addColumn<int>("answer"); // a key, or 0 and 1 for the cancel and download buttons
    QTest::addColumn<bool>("downloads");
    QTest::newRow("cancel button") << 0 << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    QTest::newRow("download button") << 1 << true;
    QTest::newRow("Return") << int(Qt::Key_Return) << true;
}

void TestWindow::codexDownloadAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(bool, downloads);
    QTest::mouseClick(card(0)->downloadButton(), Qt::LeftButton);
    ConfirmDialog *dialog = m_window->downloadConfirmation();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    if (answer > 1)
        QTest::keyClick(dialog, Qt::Key(answer));
    else
        QTest::mouseClick(answer ? dialog->acceptButton() : dialog->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!m_window->confirmDownload());
    QTRY_VERIFY(!m_state->busy()); // the download, when one started, has ended
    QCOMPARE(!m_relay->requests().isEmpty(), downloads);
}

void TestWindow::recheck()
{
    const QString missing = card(0)->subtitleLabel()->text();
    m_platform->codexInstalled = true;
    QTest::mouseClick(m_window->setupPanel()->recheckButton(), Qt::LeftButton);
    QVERIFY(m_state->codexInstalled());
    QVERIFY(card(0)->subtitleLabel()->text() != missing);
}

// A connected card offers its check; pressed from the keyboard, the result reaches the card's
// line, where assistive technology reads it.
void TestWindow::checkFromKeyboard()
{
    QTemporaryDir home;
    m_platform->environmentValues = AgentFixtures::checkEnvironment(home.path());
    AgentCard *claude = card(1);
    QVERIFY(!claude->checkButton()->isVisibleTo(m_window.get()));
    m_state->setConnected(AgentKind::claudeCode, true);
    QVERIFY(claude->checkButton()->isVisibleTo(m_window.get()));
    QCOMPARE(QAccessible::queryAccessibleInterface(claude->checkButton())->text(QAccessible::Name),
        u"检测连接"_qs);

    claude->checkButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(claude->checkButton(), Qt::Key_Space);
    const QString expected
        = QStringLiteral("登录 Shell 的 PATH 中找不到 claude，请先安装（卡片左下角可下载安装包）");
    QAccessibleInterface *result = QAccessible::queryAccessibleInterface(claude->checkLabel());
    QTRY_COMPARE_WITH_TIMEOUT(result->text(QAccessible::Name), expected, 20000);
    QCOMPARE(m_window->statusBar()->activityLabel()->text(), u"Claude Code 检测失败："_qs + expected);
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
