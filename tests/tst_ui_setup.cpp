// The setup panel: the shared pickers, the six agent cards, their buttons, and the Codex
// download confirmation, on the offscreen platform.

#include "agentcard.h"
#include "application.h"
#include "confirmdialog.h"
#include "drivenstate.h"
#include "mainwindow.h"
#include "relayserver.h"
#include "setuppanel.h"
#include "symbols.h"
#include "theme.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(Symbol)

class TestSetup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void groupPickerBeforeLogin();
    void groupPickerEntries();
    void groupPickerShowsNoneAfterReset_data();
    void groupPickerShowsNoneAfterReset();
    void modelPicker();
    void unknownModelShowsNoSelection();
    void effortPicker_data();
    void effortPicker();

    void cardTexts_data();
    void cardTexts();
    void codexSubtitleFollowsInstalled();
    void gridOrder();
    void connectedLook_data();
    void connectedLook();
    void busyDisablesDownloadsOnly();
    void connectWhileBusyIsRefused();
    void connectBeforeLoginIsRefused_data();
    void connectBeforeLoginIsRefused();

    void codexDownloadAsksFirst();
    void cancelDoesNothing();
    void escapeDoesNothing();
    void confirmStartsCodexDownload();
    void otherDownloadsStartAtOnce();
    void recheck_data();
    void recheck();

private:
    AgentCard *card(int index) const { return m_window->setupPanel()->cards().at(index); }
    ConfirmDialog *confirmation() const;
    QPushButton *dialogButton(const QString &text) const;

    RelayServer *m_relay = nullptr;
    std::shared_ptr<TestPlatform> m_platform;
    DrivenState *m_state = nullptr;
    MainWindow *m_window = nullptr;
};

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

QStringList entries(const QComboBox *box)
{
    QStringList texts;
    for (int row = 0; row < box->count(); ++row)
        texts.append(box->itemText(row));
    return texts;
}

RemoteGroup group(qint64 id, const QString &platform, const QString &name)
{
    RemoteGroup value;
    value.id = id;
    value.platform = platform;
    value.name = name;
    return value;
}

} // namespace

void TestSetup::init()
{
    m_relay = new RelayServer(this);
    QVERIFY(m_relay->listen() != 0);
    m_platform = std::make_shared<TestPlatform>();
    m_platform->deploymentValues.defaultApiRoot = m_relay->baseUrl().toString();
    m_platform->deploymentValues.downloadServer = m_relay->baseUrl();
    QDir().mkpath(m_platform->downloads);
    auto state = std::make_unique<DrivenState>(m_platform);
    m_state = state.get();
    m_window = new MainWindow(std::move(state));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestSetup::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_state = nullptr;
    m_platform.reset();
    delete m_relay;
    m_relay = nullptr;
}

ConfirmDialog *TestSetup::confirmation() const
{
    return m_window->findChild<ConfirmDialog *>();
}

QPushButton *TestSetup::dialogButton(const QString &text) const
{
    ConfirmDialog *box = confirmation();
    if (!box)
        return nullptr;
    for (QAbstractButton *button : box->buttons()->buttons()) {
        if (button->text() == text)
            return qobject_cast<QPushButton *>(button);
    }
    return nullptr;
}

// ---- Pickers ----

void TestSetup::groupPickerBeforeLogin()
{
    QComboBox *groups = m_window->setupPanel()->groupPicker();
    QCOMPARE(entries(groups), QStringList { QStringLiteral("请选择") });
    QCOMPARE(groups->currentText(), QStringLiteral("请选择"));
    QVERIFY(groups->isEnabled());
}

void TestSetup::groupPickerEntries()
{
    QComboBox *groups = m_window->setupPanel()->groupPicker();
    const QList<RemoteGroup> list { group(7, QStringLiteral("openai"), QStringLiteral("Team")),
        group(3, QStringLiteral("anthropic"), QStringLiteral("Claude")),
        group(9, QStringLiteral("openai"), QStringLiteral("Team")) };
    m_state->setGroups(list);
    m_state->setSelectedGroupID(std::nullopt);
    QStringList expected { QStringLiteral("请选择") };
    for (const RemoteGroup &value : list)
        expected.append(value.displayName());
    QCOMPARE(entries(groups), expected);
    QCOMPARE(groups->currentText(), QStringLiteral("请选择"));

    // Two entries with the same name stand for their own groups.
    choose(groups, 3);
    QCOMPARE(m_state->selectedGroupID(), std::optional<qint64>(9));
    choose(groups, 1);
    QCOMPARE(m_state->selectedGroupID(), std::optional<qint64>(7));
    QCOMPARE(groups->currentIndex(), 1);
    choose(groups, 0);
    QCOMPARE(m_state->selectedGroupID(), std::nullopt);
}

void TestSetup::groupPickerShowsNoneAfterReset_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("after login") << true;
    QTest::newRow("after clearing") << false;
}

void TestSetup::groupPickerShowsNoneAfterReset()
{
    QFETCH(bool, signedIn);
    QComboBox *groups = m_window->setupPanel()->groupPicker();
    m_state->setGroups({ group(1, QStringLiteral("openai"), QStringLiteral("A")) });
    choose(groups, 1);
    QCOMPARE(groups->currentIndex(), 1);

    // What a login (new groups, selection reset) or clearing (no groups) leaves.
    m_state->setGroups(signedIn
            ? QList<RemoteGroup> { group(1, QStringLiteral("openai"), QStringLiteral("A")),
                group(2, QStringLiteral("openai"), QStringLiteral("B")) }
            : QList<RemoteGroup> {});
    m_state->setSelectedGroupID(std::nullopt);
    m_state->setAuthenticated(signedIn);
    QCOMPARE(groups->currentText(), QStringLiteral("请选择"));
    QCOMPARE(groups->currentIndex(), 0);
    QCOMPARE(groups->count(), signedIn ? 3 : 1);
}

void TestSetup::modelPicker()
{
    QComboBox *models = m_window->setupPanel()->modelPicker();
    QCOMPARE(entries(models),
        (QStringList { QStringLiteral("gpt-5.6-sol"), QStringLiteral("gpt-5.5"),
            QStringLiteral("gemini-2.0-flash"), QStringLiteral("kimi-k3"),
            QStringLiteral("deepseek-v4-pro") }));
    QCOMPARE(models->currentText(), QStringLiteral("gpt-5.6-sol"));
    choose(models, 3);
    QCOMPARE(m_state->selectedModel(), QStringLiteral("kimi-k3"));

    m_state->setModels(
        { { QStringLiteral("m-1"), QStringLiteral("x") }, { QStringLiteral("m-2"), QStringLiteral("y") } });
    QCOMPARE(entries(models), (QStringList { QStringLiteral("m-1"), QStringLiteral("m-2") }));
    choose(models, 1);
    QCOMPARE(m_state->selectedModel(), QStringLiteral("m-2"));
}

void TestSetup::unknownModelShowsNoSelection()
{
    QComboBox *models = m_window->setupPanel()->modelPicker();
    const QSignalSpy changed(m_state, &ConnectState::selectedModelChanged);
    m_state->setSelectedModel(QStringLiteral("not-listed"));
    QCOMPARE(models->currentIndex(), -1);
    QCOMPARE(models->currentText(), QString());
    QCOMPARE(models->count(), 5);
    // The picker itself writes nothing back.
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_state->selectedModel(), QStringLiteral("not-listed"));
}

void TestSetup::effortPicker_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored");
    QTest::newRow("high") << 0 << QStringLiteral("High") << QStringLiteral("high");
    QTest::newRow("medium") << 1 << QStringLiteral("Medium") << QStringLiteral("medium");
    QTest::newRow("low") << 2 << QStringLiteral("Low") << QStringLiteral("low");
    QTest::newRow("extra high") << 3 << QStringLiteral("Extra High") << QStringLiteral("xhigh");
}

void TestSetup::effortPicker()
{
    QFETCH(int, row);
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    QComboBox *effort = m_window->setupPanel()->effortPicker();
    QCOMPARE(entries(effort),
        (QStringList { QStringLiteral("High"), QStringLiteral("Medium"), QStringLiteral("Low"),
            QStringLiteral("Extra High") }));
    QCOMPARE(effort->currentText(), QStringLiteral("High"));
    // Start from another entry, so that choosing always changes something.
    m_state->setReasoningEffort(row == 0 ? QStringLiteral("low") : QStringLiteral("high"));
    choose(effort, row);
    QCOMPARE(m_state->reasoningEffort(), stored);
    QCOMPARE(effort->currentText(), shown);

    m_state->setReasoningEffort(QStringLiteral("medium"));
    m_state->setReasoningEffort(stored);
    QCOMPARE(effort->currentText(), shown);
}

// ---- Cards ----

void TestSetup::cardTexts_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("protocolName");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("subtitle");
    QTest::addColumn<Symbol>("symbol");
    QTest::addColumn<QColor>("accent");
    QTest::newRow("codex") << 0 << QStringLiteral("Codex 官方客户端") << QStringLiteral("RESPONSES")
                           << QStringLiteral("连接 Codex Desktop 与 CLI，使用统一模型和推理设置。")
                           << QStringLiteral("官方 DMG 尚未安装")
                           << Symbol::chevronLeftForwardslashChevronRight << Theme::cyan;
    QTest::newRow("claude") << 1 << QStringLiteral("Claude Code") << QStringLiteral("ANTHROPIC")
                            << QStringLiteral("为 Claude Code CLI 注入 Messages 协议和安全启动器。")
                            << QStringLiteral("Keychain 启动器") << Symbol::terminal << Theme::orange;
    QTest::newRow("gemini") << 2 << QStringLiteral("Gemini CLI") << QStringLiteral("GEMINI")
                            << QStringLiteral("同步 Gemini 模型，使用原生 Gemini API 环境启动。")
                            << QStringLiteral("Keychain 启动器") << Symbol::sparkles << Theme::purple;
    QTest::newRow("kimi") << 3 << QStringLiteral("Kimi Code") << QStringLiteral("OPENAI COMPAT")
                          << QStringLiteral("为 Kimi Code 准备 OpenAI 兼容协议和模型变量。")
                          << QStringLiteral("Keychain 启动器") << Symbol::kCircleFill << Theme::pink;
    QTest::newRow("opencode") << 4 << QStringLiteral("OpenCode") << QStringLiteral("OPENAI COMPAT")
                              << QStringLiteral("写入全局 Provider，适合多模型项目和终端工作流。")
                              << QStringLiteral("全局 Provider 配置") << Symbol::square3Layers3d
                              << Theme::blue;
    QTest::newRow("deepseek") << 5 << QStringLiteral("DeepSeek Agent") << QStringLiteral("CRUSH")
                              << QStringLiteral("按官方 Crush 集成方式接入 DeepSeek Agent。")
                              << QStringLiteral("官方集成配置") << Symbol::brainHeadProfile << Theme::red;
}

void TestSetup::cardTexts()
{
    QFETCH(int, index);
    QFETCH(QString, title);
    QFETCH(QString, protocolName);
    QFETCH(QString, description);
    QFETCH(QString, subtitle);
    QFETCH(Symbol, symbol);
    QFETCH(QColor, accent);
    AgentCard *agent = card(index);
    QStringList texts;
    for (const TextLabel *label : agent->findChildren<TextLabel *>())
        texts.append(label->text());
    QVERIFY(texts.contains(title));
    QVERIFY(texts.contains(description));
    QCOMPARE(agent->protocolLabel()->text(), protocolName);
    QCOMPARE(agent->subtitleLabel()->text(), subtitle);
    QCOMPARE(agent->picture()->symbol(), symbol);
    QCOMPARE(agent->tint(), accent);
    QCOMPARE(agent->border(), Theme::withAlpha(accent, 0.2));
    QCOMPARE(agent->accessibleName(), title);
    QCOMPARE(agent->downloadButton()->toolTip(), QStringLiteral("从 Velmora 香港服务器下载安装包"));
    QCOMPARE(agent->downloadButton()->size(), QSize(62, 44));
    QVERIFY(agent->connectButton()->width() >= 112);
    QVERIFY(agent->connectButton()->height() >= 36);
    QVERIFY(agent->height() >= 204);
}

void TestSetup::codexSubtitleFollowsInstalled()
{
    m_state->setCodexInstalled(true);
    QCOMPARE(card(0)->subtitleLabel()->text(), QStringLiteral("已安装 · Desktop 与 CLI 共用配置"));
    m_state->setCodexInstalled(false);
    QCOMPARE(card(0)->subtitleLabel()->text(), QStringLiteral("官方 DMG 尚未安装"));
}

void TestSetup::gridOrder()
{
    // Two columns, filled row by row in the order of the card table.
    for (int index = 0; index < 6; ++index) {
        const QPoint position = card(index)->mapTo(m_window, QPoint());
        const QPoint first = card(index % 2)->mapTo(m_window, QPoint());
        QCOMPARE(position.x(), first.x());
        if (index >= 2)
            QVERIFY(position.y() > card(index - 2)->mapTo(m_window, QPoint()).y());
    }
    QVERIFY(card(1)->mapTo(m_window, QPoint()).x() > card(0)->mapTo(m_window, QPoint()).x());
    QCOMPARE(card(0)->mapTo(m_window, QPoint()).y(), card(1)->mapTo(m_window, QPoint()).y());
}

void TestSetup::connectedLook_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("flag");
    QTest::newRow("codex") << 0 << QByteArray("codex");
    QTest::newRow("claude") << 1 << QByteArray("claudeCode");
    QTest::newRow("gemini") << 2 << QByteArray("gemini");
    QTest::newRow("kimi") << 3 << QByteArray("kimi");
    QTest::newRow("opencode") << 4 << QByteArray("openCode");
    QTest::newRow("deepseek") << 5 << QByteArray("deepSeek");
}

void TestSetup::connectedLook()
{
    QFETCH(int, index);
    QFETCH(QByteArray, flag);
    const auto set = [&](bool value) {
        if (flag == "codex")
            m_state->setCodexConnected(value);
        else if (flag == "claudeCode")
            m_state->setClaudeCodeConnected(value);
        else if (flag == "gemini")
            m_state->setGeminiConnected(value);
        else if (flag == "kimi")
            m_state->setKimiConnected(value);
        else if (flag == "openCode")
            m_state->setOpenCodeConnected(value);
        else
            m_state->setDeepSeekConnected(value);
    };
    AgentCard *agent = card(index);
    const QColor accent = agent->tint();
    const Symbol symbol = agent->picture()->symbol();

    set(true);
    QCOMPARE(agent->picture()->symbol(), Symbol::checkmarkCircleFill);
    QCOMPARE(agent->picture()->colour(), Theme::green);
    QCOMPARE(agent->protocolLabel()->colour(), Theme::green);
    QCOMPARE(agent->statusDot()->colour(), Theme::green);
    QCOMPARE(agent->border(), Theme::withAlpha(Theme::green, 0.35));
    QCOMPARE(agent->connectButton()->text(), QStringLiteral("已接入"));
    QCOMPARE(agent->connectButton()->symbol(), Symbol::checkmark);
    QCOMPARE(agent->connectButton()->look().fill, Theme::green);
    QVERIFY(agent->connectButton()->isEnabled());
    // The other cards keep their look.
    for (int other = 0; other < 6; ++other) {
        if (other != index)
            QVERIFY(!card(other)->connected());
    }

    set(false);
    QCOMPARE(agent->picture()->symbol(), symbol);
    QCOMPARE(agent->picture()->colour(), accent);
    QCOMPARE(agent->protocolLabel()->colour(), accent);
    QCOMPARE(agent->statusDot()->colour(), Theme::white(0.18));
    QCOMPARE(agent->border(), Theme::withAlpha(accent, 0.2));
    QCOMPARE(agent->connectButton()->text(), QStringLiteral("连接"));
    QCOMPARE(agent->connectButton()->symbol(), Symbol::link);
    QCOMPARE(agent->connectButton()->look().fill, accent);
}

void TestSetup::busyDisablesDownloadsOnly()
{
    m_state->setBusy(true);
    for (const AgentCard *agent : m_window->setupPanel()->cards()) {
        QVERIFY(!agent->downloadButton()->isEnabled());
        QVERIFY(agent->connectButton()->isEnabled());
    }
    const auto pickers = m_window->setupPanel()->findChildren<QComboBox *>();
    for (const QComboBox *picker : pickers)
        QVERIFY(picker->isEnabled());
    // A disabled download button ignores a click: no dialog.
    QTest::mouseClick(card(0)->downloadButton(), Qt::LeftButton);
    QVERIFY(!m_window->confirmDownload());

    m_state->setBusy(false);
    for (const AgentCard *agent : m_window->setupPanel()->cards())
        QVERIFY(agent->downloadButton()->isEnabled());
}

void TestSetup::connectWhileBusyIsRefused()
{
    m_state->setBusy(true);
    for (int index = 0; index < 6; ++index) {
        m_state->setActivity(QStringLiteral("正在登录…"));
        QTest::mouseClick(card(index)->connectButton(), Qt::LeftButton);
        QCOMPARE(m_state->activity(), QStringLiteral("当前操作尚未完成，请稍候再试。"));
    }
}

void TestSetup::connectBeforeLoginIsRefused_data()
{
    QTest::addColumn<int>("index");
    for (int index = 0; index < 6; ++index)
        QTest::newRow(qPrintable(QString::number(index))) << index;
}

void TestSetup::connectBeforeLoginIsRefused()
{
    QFETCH(int, index);
    QTest::mouseClick(card(index)->connectButton(), Qt::LeftButton);
    QCOMPARE(m_state->activity(), QStringLiteral("请先登录并同步账户。"));
    QVERIFY(!m_state->busy());
    QVERIFY(m_relay->requests().isEmpty());
}

// ---- Downloads ----

void TestSetup::codexDownloadAsksFirst()
{
    const QSignalSpy activity(m_state, &ConnectState::activityChanged);
    QTest::mouseClick(card(0)->downloadButton(), Qt::LeftButton);
    QVERIFY(m_window->confirmDownload());
    ConfirmDialog *box = confirmation();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), QStringLiteral("下载 Codex Desktop？"));
    QStringList shown;
    for (const TextLabel *label : box->findChildren<TextLabel *>())
        shown.append(label->text());
    QCOMPARE(shown,
        (QStringList { QStringLiteral("下载 Codex Desktop？"),
            QStringLiteral("将从 Velmora 服务器获取安装包，并保存到“下载”文件夹。") }));
    QCOMPARE(box->buttons()->buttons().size(), 2);
    QPushButton *cancel = dialogButton(QStringLiteral("取消"));
    QVERIFY(cancel);
    QCOMPARE(box->buttons()->buttonRole(cancel), QDialogButtonBox::RejectRole);
    QPushButton *download = dialogButton(QStringLiteral("下载并打开安装包"));
    QVERIFY(download);
    QCOMPARE(box->buttons()->buttonRole(download), QDialogButtonBox::AcceptRole);
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    // Only the dialog: nothing was downloaded.
    QCOMPARE(activity.count(), 0);
    QVERIFY(m_relay->requests().isEmpty());
    QVERIFY(!m_state->busy());
}

void TestSetup::cancelDoesNothing()
{
    const QSignalSpy activity(m_state, &ConnectState::activityChanged);
    const QSignalSpy busy(m_state, &ConnectState::busyChanged);
    QTest::mouseClick(card(0)->downloadButton(), Qt::LeftButton);
    QPushButton *cancel = dialogButton(QStringLiteral("取消"));
    QVERIFY(cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTRY_VERIFY(!confirmation());
    QVERIFY(!m_window->confirmDownload());
    QTest::qWait(50);
    QCOMPARE(activity.count(), 0);
    QCOMPARE(busy.count(), 0);
    QVERIFY(m_relay->requests().isEmpty());
    QVERIFY(m_platform->opened.isEmpty());
}

void TestSetup::escapeDoesNothing()
{
    const QSignalSpy activity(m_state, &ConnectState::activityChanged);
    QTest::mouseClick(card(0)->downloadButton(), Qt::LeftButton);
    ConfirmDialog *box = confirmation();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(!confirmation());
    QVERIFY(!m_window->confirmDownload());
    QCOMPARE(activity.count(), 0);
    QVERIFY(m_relay->requests().isEmpty());
}

void TestSetup::confirmStartsCodexDownload()
{
    const QSignalSpy busy(m_state, &ConnectState::busyChanged);
    QTest::mouseClick(card(0)->downloadButton(), Qt::LeftButton);
    QPushButton *download = dialogButton(QStringLiteral("下载并打开安装包"));
    QVERIFY(download);
    QTest::mouseClick(download, Qt::LeftButton);
    QTRY_VERIFY(!confirmation());
    QVERIFY(!m_window->confirmDownload());
    // downloadCodex() ran: busy went on, and the download server was asked for a package.
    QVERIFY(busy.count() >= 1);
    QTRY_VERIFY(!m_relay->requests().isEmpty());
    QVERIFY(m_relay->requests().first().path.startsWith(QStringLiteral("/agent-packages/")));
    QTRY_VERIFY(!m_state->busy());
}

void TestSetup::otherDownloadsStartAtOnce()
{
    for (int index = 1; index < 6; ++index) {
        m_relay->clearRequests();
        QTRY_VERIFY(card(index)->downloadButton()->isEnabled());
        QTest::mouseClick(card(index)->downloadButton(), Qt::LeftButton);
        QVERIFY(!m_window->confirmDownload());
        QVERIFY(!confirmation());
        QTRY_VERIFY(!m_relay->requests().isEmpty());
        QVERIFY(m_relay->requests().first().path.startsWith(QStringLiteral("/agent-packages/")));
        QTRY_VERIFY(!m_state->busy());
    }
}

void TestSetup::recheck_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("activity");
    QTest::addColumn<QString>("subtitle");
    QTest::newRow("installed") << true << QStringLiteral("已检测到 Codex Desktop。")
                               << QStringLiteral("已安装 · Desktop 与 CLI 共用配置");
    QTest::newRow("missing") << false << QStringLiteral("尚未检测到 Codex Desktop。")
                             << QStringLiteral("官方 DMG 尚未安装");
}

void TestSetup::recheck()
{
    QFETCH(bool, installed);
    QFETCH(QString, activity);
    QFETCH(QString, subtitle);
    ActionButton *recheck = m_window->setupPanel()->recheckButton();
    QVERIFY(recheck);
    QCOMPARE(recheck->text(), QStringLiteral("重新检测"));
    QCOMPARE(recheck->accessibleName(), QStringLiteral("重新检测"));
    QVERIFY(card(0)->isAncestorOf(recheck));
    m_state->setCodexInstalled(!installed);
    m_platform->codexInstalled = installed;
    QTest::mouseClick(recheck, Qt::LeftButton);
    QCOMPARE(m_state->codexInstalled(), installed);
    QCOMPARE(m_state->activity(), activity);
    QCOMPARE(card(0)->subtitleLabel()->text(), subtitle);
}

int main(int argc, char *argv[])
{
    // A desktop screen, and a laptop's 1366 × 768 less a 32-point panel beside it.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" VELMORA_TEST_DATA "/screens.json");
    Application app(argc, argv);
    TestSetup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_setup.moc"
