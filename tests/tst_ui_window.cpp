// The window's frame, status bar, tech banner and login panel, and the application's reveal
// step, on the offscreen platform.

#include "agentcard.h"
#include "application.h"
#include "drivenstate.h"
#include "loginpanel.h"
#include "mainwindow.h"
#include "relayserver.h"
#include "setuppanel.h"
#include "statusbar.h"
#include "symbols.h"
#include "theme.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void activityColour_data();
    void activityColour();
    void statusSymbolFollowsBusy();
    void relayTextInTooltips();
    void contactText();
    void downloadProgress_data();
    void downloadProgress();
    void techBannerFollowsAuthenticated();
    void fixedTexts_data();
    void fixedTexts();

    void firstPicture();
    void loginButtonFollowsAuthenticated();
    void busyDisablesButtonsNotFields();
    void fieldsWriteThrough_data();
    void fieldsWriteThrough();
    void operationEditsShowAtOnce();
    void returnTriggersNothing();
    void loginWithEmptyFieldsIsRefused();
    void controlsHaveAccessibleNames();

    void minimumContentSize();
    void revealStep();
    void revealStepWithoutWindow();
    void revealAfterActivation();

private:
    InputField *field(const QString &name) const;

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
    platform->deploymentValues.supportQQ = QStringLiteral("123456789");
    auto state = std::make_unique<DrivenState>(platform);
    m_state = state.get();
    m_window = new MainWindow(std::move(state));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestWindow::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_state = nullptr;
    delete m_relay;
    m_relay = nullptr;
}

InputField *TestWindow::field(const QString &name) const
{
    LoginPanel *panel = m_window->loginPanel();
    for (InputField *candidate : { panel->addressField(), panel->emailField(), panel->passwordField() }) {
        if (candidate->edit()->accessibleName() == name)
            return candidate;
    }
    return nullptr;
}

// ---- Status bar ----

void TestWindow::activityColour_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");
    QTest::newRow("login failure") << QStringLiteral("登录失败：账号或密码不正确") << true;
    QTest::newRow("download failure") << QStringLiteral("下载失败：接口返回 404") << true;
    QTest::newRow("failure inside") << QStringLiteral("本机配置命令失败") << true;
    QTest::newRow("ready") << QStringLiteral("准备就绪") << false;
    QTest::newRow("success") << QStringLiteral("登录成功，请选择渠道接口后接入。") << false;
    QTest::newRow("refusal") << QStringLiteral("请先登录并同步账户。") << false;
    QTest::newRow("still busy") << QStringLiteral("当前操作尚未完成，请稍候再试。") << false;
    QTest::newRow("half of the marker") << QStringLiteral("失去连接") << false;
}

void TestWindow::activityColour()
{
    QFETCH(QString, text);
    QFETCH(bool, red);
    m_state->setActivity(text);
    TextLabel *label = m_window->statusBar()->activityLabel();
    QCOMPARE(label->text(), text);
    QCOMPARE(label->colour(), red ? Theme::red : Theme::white(0.7));
    // And back to white with the next text.
    m_state->setActivity(QStringLiteral("准备就绪"));
    QCOMPARE(label->colour(), Theme::white(0.7));
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

void TestWindow::statusSymbolFollowsBusy()
{
    SymbolView *symbol = m_window->statusBar()->statusSymbol();
    QCOMPARE(symbol->symbol(), Symbol::shieldCheckered);
    QCOMPARE(symbol->colour(), Theme::withAlpha(Theme::green, 0.85));

    m_state->setBusy(true);
    QCOMPARE(symbol->symbol(), Symbol::waveformPathEcg);
    QCOMPARE(symbol->colour(), Theme::cyan);
    QCOMPARE(symbol->colour().alphaF(), 1.0f);

    m_state->setBusy(false);
    QCOMPARE(symbol->symbol(), Symbol::shieldCheckered);
    QCOMPARE(symbol->colour(), Theme::withAlpha(Theme::green, 0.85));
}

void TestWindow::contactText()
{
    TextLabel *contact = m_window->statusBar()->contactLabel();
    QCOMPARE(contact->text(), QStringLiteral("联系客服  ·  QQ 123456789"));
    QCOMPARE(contact->toolTip(), QStringLiteral("Velmora 客服 QQ：123456789"));
    const auto cards = m_window->findChildren<ContactCard *>();
    QCOMPARE(cards.size(), 1);
    QCOMPARE(cards.first()->toolTip(), QStringLiteral("Velmora 客服 QQ：123456789"));
    const auto texts = cards.first()->findChildren<TextLabel *>();
    QVERIFY(std::any_of(texts.begin(), texts.end(),
        [](const TextLabel *label) { return label->text() == QStringLiteral("QQ 123456789"); }));
}

void TestWindow::downloadProgress_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<bool>("determinate");
    QTest::addColumn<double>("fraction");
    QTest::newRow("known size") << qint64(250) << qint64(1000) << true << 0.25;
    QTest::newRow("complete") << qint64(1000) << qint64(1000) << true << 1.0;
    QTest::newRow("unknown size") << qint64(4096) << qint64(-1) << false << 0.0;
    QTest::newRow("nothing yet") << qint64(0) << qint64(-1) << false << 0.0;
}

void TestWindow::downloadProgress()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(bool, determinate);
    QFETCH(double, fraction);
    StatusBar *bar = m_window->statusBar();
    QVERIFY(!bar->progress()->isVisible());

    m_state->setBusy(true);
    m_state->setActivity(QStringLiteral("正在下载 Codex Desktop…"));
    QCoreApplication::processEvents();
    const QString activity = bar->activityLabel()->text();
    const QRect activityGeometry = bar->activityLabel()->geometry();
    const QRect contactGeometry = bar->contactLabel()->geometry();

    m_state->setDownloadProgress(true, received, total);
    QVERIFY(bar->progress()->isVisible());
    QCOMPARE(bar->progress()->determinate(), determinate);
    QCOMPARE(bar->progress()->fraction(), fraction);
    // Nothing else of the status bar changes.
    QCOMPARE(bar->activityLabel()->text(), activity);
    QCOMPARE(bar->statusSymbol()->symbol(), Symbol::waveformPathEcg);
    QCoreApplication::processEvents();
    QCOMPARE(bar->activityLabel()->geometry(), activityGeometry);
    QCOMPARE(bar->contactLabel()->geometry(), contactGeometry);

    m_state->setDownloadProgress(false, received, total);
    QVERIFY(!bar->progress()->isVisible());
}

void TestWindow::techBannerFollowsAuthenticated()
{
    TextLabel *status = m_window->setupPanel()->techBanner()->statusLabel();
    QCOMPARE(status->text(), QStringLiteral("WAITING"));
    QCOMPARE(status->colour(), Theme::orange);
    m_state->setAuthenticated(true);
    QCOMPARE(status->text(), QStringLiteral("READY"));
    QCOMPARE(status->colour(), Theme::green);
    m_state->setAuthenticated(false);
    QCOMPARE(status->text(), QStringLiteral("WAITING"));
    QCOMPARE(status->colour(), Theme::orange);
}

void TestWindow::fixedTexts_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : { "VELMORA CONNECT // CONTROL PLANE", "连接模型，开始编码。", "LOCAL SESSION",
             "PASSWORD EPHEMERAL  ·  KEYCHAIN  ·  AUTO BACKUP", "NEURAL ROUTING ONLINE",
             "让每个 Agent 共享同一条安全模型通道。", "SYNC LAYER", "需要帮助？联系客服", "SUPPORT", "01",
             "账户登录", "使用 Velmora 网页账户",
             "登录后，客户端将按当前用户权限同步资料、分组和可用模型。密码仅用于本次登录请求，不会保存在本机"
             "。",
             "SECURE SESSION", "专用 API Key 将由服务自动创建并写入 Keychain", "Velmora 地址", "登录邮箱",
             "密码", "切换账户前先清除旧 Key 与 Codex 配置", "已登录账户", "02", "Agent 管理",
             "六个 Agent，统一接入", "6 NODES", "渠道接口", "模型与推理" })
        QTest::newRow(text) << QString::fromUtf8(text);
}

void TestWindow::fixedTexts()
{
    QFETCH(QString, text);
    const auto widgets = m_window->findChildren<QWidget *>();
    const auto shown = std::count_if(widgets.begin(), widgets.end(), [&](const QWidget *widget) {
        const auto *label = qobject_cast<const TextLabel *>(widget);
        return label ? label->text() == text : widget->accessibleName() == text;
    });
    QVERIFY2(shown >= 1, qPrintable(text));
}

// ---- Login panel ----

void TestWindow::firstPicture()
{
    LoginPanel *panel = m_window->loginPanel();
    QCOMPARE(panel->addressField()->edit()->text(), m_relay->baseUrl().toString());
    QCOMPARE(panel->emailField()->edit()->text(), QString());
    QCOMPARE(panel->emailField()->edit()->placeholderText(), QStringLiteral("请输入 Velmora 邮箱"));
    QCOMPARE(panel->passwordField()->edit()->text(), QString());
    QCOMPARE(panel->passwordField()->edit()->placeholderText(), QStringLiteral("请输入密码"));
    QVERIFY(!panel->addressField()->edit()->placeholderText().isEmpty());
    QCOMPARE(panel->accountNameLabel()->text(), QStringLiteral("尚未登录"));
    QCOMPARE(panel->accountDetailLabel()->text(), QStringLiteral("使用网页账户登录后同步资料与可用模型"));
    QCOMPARE(m_window->statusBar()->activityLabel()->text(), QStringLiteral("准备就绪"));
    QVERIFY(panel->loginButton()->isEnabled());
    QVERIFY(panel->clearButton()->isEnabled());
    QCOMPARE(panel->clearButton()->text(), QStringLiteral("清除配置"));
    QCOMPARE(panel->clearButton()->symbol(), Symbol::trashSlash);
    // No field takes the focus by itself: no caret blinks in an idle window.
    QVERIFY(!qobject_cast<QLineEdit *>(QApplication::focusWidget()));
}

void TestWindow::loginButtonFollowsAuthenticated()
{
    LoginPanel *panel = m_window->loginPanel();
    ActionButton *login = panel->loginButton();
    QCOMPARE(login->text(), QStringLiteral("登录并同步"));
    QCOMPARE(login->symbol(), Symbol::arrowRightCircleFill);
    QCOMPARE(panel->border(), Theme::white(0.1));
    QCOMPARE(panel->accountCard()->fill(), Theme::white(0.05));
    QCOMPARE(panel->accountCard()->border(), Theme::white(0.08));

    m_state->setAuthenticated(true);
    m_state->setAccountName(QStringLiteral("Velmora Demo"));
    QCOMPARE(login->text(), QStringLiteral("重新同步账户"));
    QCOMPARE(login->accessibleName(), QStringLiteral("重新同步账户"));
    QCOMPARE(login->symbol(), Symbol::arrowTriangle2Circlepath);
    QCOMPARE(panel->border(), Theme::withAlpha(Theme::cyan, 0.45));
    QCOMPARE(panel->accountCard()->fill(), Theme::withAlpha(Theme::cyan, 0.1));
    QCOMPARE(panel->accountCard()->border(), Theme::withAlpha(Theme::cyan, 0.28));
    QCOMPARE(panel->accountNameLabel()->text(), QStringLiteral("Velmora Demo"));
    // The card is in view after signing in, even where the column has to scroll.
    QTRY_VERIFY(!panel->accountCard()->visibleRegion().isEmpty());

    m_state->setAuthenticated(false);
    QCOMPARE(login->text(), QStringLiteral("登录并同步"));
    QCOMPARE(login->symbol(), Symbol::arrowRightCircleFill);
    QCOMPARE(panel->border(), Theme::white(0.1));
    QCOMPARE(panel->accountCard()->fill(), Theme::white(0.05));
}

void TestWindow::busyDisablesButtonsNotFields()
{
    LoginPanel *panel = m_window->loginPanel();
    m_state->setBusy(true);
    QVERIFY(!panel->loginButton()->isEnabled());
    QVERIFY(!panel->clearButton()->isEnabled());
    for (InputField *input : { panel->addressField(), panel->emailField(), panel->passwordField() }) {
        QVERIFY(input->edit()->isEnabled());
        QVERIFY(!input->edit()->isReadOnly());
    }
    QTest::keyClicks(panel->emailField()->edit(), QStringLiteral("a@b.example"));
    QCOMPARE(m_state->username(), QStringLiteral("a@b.example"));

    // A disabled button ignores a click.
    const QSignalSpy activity(m_state, &ConnectState::activityChanged);
    QTest::mouseClick(panel->loginButton(), Qt::LeftButton);
    QTest::mouseClick(panel->clearButton(), Qt::LeftButton);
    QCOMPARE(activity.count(), 0);

    m_state->setBusy(false);
    QVERIFY(panel->loginButton()->isEnabled());
    QVERIFY(panel->clearButton()->isEnabled());
}

void TestWindow::fieldsWriteThrough_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("address") << QStringLiteral("Velmora 地址") << QByteArray("routerURL") << false;
    QTest::newRow("e-mail") << QStringLiteral("登录邮箱") << QByteArray("username") << false;
    QTest::newRow("password") << QStringLiteral("密码") << QByteArray("password") << true;
}

void TestWindow::fieldsWriteThrough()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(bool, hidden);
    InputField *input = field(name);
    QVERIFY(input);
    QCOMPARE(input->edit()->echoMode() == QLineEdit::Password, hidden);

    input->edit()->clear();
    QTest::keyClicks(input->edit(), QStringLiteral("ab c"));
    QCOMPARE(m_state->property(property).toString(), QStringLiteral("ab c"));
    QTest::keyClick(input->edit(), Qt::Key_Backspace);
    QCOMPARE(m_state->property(property).toString(), QStringLiteral("ab "));

    // The state's changes show in the field at once.
    m_state->setProperty(property, QStringLiteral("typed elsewhere"));
    QCOMPARE(input->edit()->text(), QStringLiteral("typed elsewhere"));
}

void TestWindow::operationEditsShowAtOnce()
{
    InputField *password = m_window->loginPanel()->passwordField();
    QTest::keyClicks(password->edit(), QStringLiteral("secret"));
    QCOMPARE(m_state->password(), QStringLiteral("secret"));
    m_state->setPassword(QString()); // as a successful login does
    QCOMPARE(password->edit()->text(), QString());
}

void TestWindow::returnTriggersNothing()
{
    LoginPanel *panel = m_window->loginPanel();
    QTest::keyClicks(panel->emailField()->edit(), QStringLiteral("demo@velmora.example"));
    QTest::keyClicks(panel->passwordField()->edit(), QStringLiteral("velmora-demo"));
    const QSignalSpy activity(m_state, &ConnectState::activityChanged);
    const QSignalSpy busy(m_state, &ConnectState::busyChanged);
    for (InputField *input : { panel->addressField(), panel->emailField(), panel->passwordField() }) {
        QTest::keyClick(input->edit(), Qt::Key_Return);
        QTest::keyClick(input->edit(), Qt::Key_Enter);
    }
    QTest::qWait(50);
    QCOMPARE(activity.count(), 0);
    QCOMPARE(busy.count(), 0);
    QVERIFY(m_relay->requests().isEmpty());
}

void TestWindow::loginWithEmptyFieldsIsRefused()
{
    ActionButton *login = m_window->loginPanel()->loginButton();
    QVERIFY(login->isEnabled());
    QTest::mouseClick(login, Qt::LeftButton);
    QCOMPARE(m_state->activity(), QStringLiteral("请输入账号和密码。"));
    QCOMPARE(m_window->statusBar()->activityLabel()->text(), QStringLiteral("请输入账号和密码。"));
    QVERIFY(!m_state->busy());
    QVERIFY(m_relay->requests().isEmpty());
}

void TestWindow::controlsHaveAccessibleNames()
{
    const auto buttons = m_window->findChildren<QAbstractButton *>();
    QVERIFY(buttons.size() >= 2 + 12 + 1);
    for (const QAbstractButton *button : buttons)
        QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->text()));
    for (const QLineEdit *edit : m_window->findChildren<QLineEdit *>()) {
        // The pickers' own line edits do not exist: the pickers are not editable.
        QVERIFY(!edit->accessibleName().isEmpty());
    }
    QStringList pickers;
    for (const QComboBox *box : m_window->findChildren<QComboBox *>())
        pickers.append(box->accessibleName());
    QCOMPARE(pickers,
        (QStringList { QStringLiteral("渠道接口"), QStringLiteral("模型"), QStringLiteral("推理强度") }));
    QStringList fields;
    for (const QLineEdit *edit : m_window->findChildren<QLineEdit *>())
        fields.append(edit->accessibleName());
    QCOMPARE(fields,
        (QStringList { QStringLiteral("Velmora 地址"), QStringLiteral("登录邮箱"), QStringLiteral("密码") }));
    int downloads = 0;
    for (const AgentCard *card : m_window->setupPanel()->cards())
        downloads += card->downloadButton()->accessibleName() == QStringLiteral("下载安装包");
    QCOMPARE(downloads, 6);
}

// ---- Frame and shell ----

void TestWindow::minimumContentSize()
{
    QCOMPARE(m_window->minimumSize(), QSize(1180, 760));
    m_window->resize(900, 600);
    QCOMPARE(m_window->size(), QSize(1180, 760));
    // The content itself fits the minimum: nothing forces the window larger.
    QVERIFY(m_window->minimumSizeHint().width() <= 1180);
    QVERIFY(m_window->minimumSizeHint().height() <= 760);
    QCoreApplication::processEvents();
    // The two grid columns keep their 235 points.
    const QList<AgentCard *> &cards = m_window->setupPanel()->cards();
    QVERIFY(cards.at(0)->width() >= 235);
    QVERIFY(cards.at(1)->width() >= 235);
}

void TestWindow::revealStep()
{
    m_window->resize(1200, 780);
    m_window->move(3, 4);
    Application::revealStep();
    QCOMPARE(m_window->size(), QSize(1280, 840));
    const QRect available = m_window->screen()->availableGeometry();
    QCOMPARE(m_window->frameGeometry().center(), available.center());
    QTRY_COMPARE(QApplication::activeWindow(), m_window);

    // A second run changes nothing.
    const QRect geometry = m_window->geometry();
    Application::revealStep();
    QCOMPARE(m_window->geometry(), geometry);
}

void TestWindow::revealStepWithoutWindow()
{
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
    QCOMPARE(second->state().accountName(), QStringLiteral("尚未登录"));
    m_window->resize(1190, 770);
    second->resize(1190, 770);
    auto *app = qobject_cast<Application *>(QCoreApplication::instance());
    QVERIFY(app);
    app->revealMainWindow(Application::revealDelay);
    QTRY_COMPARE(m_window->size(), QSize(1280, 840));
    QCOMPARE(second->size(), QSize(1190, 770));
}

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    TestWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_window.moc"
