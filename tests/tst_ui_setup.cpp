// The setup panel: the shared pickers, the six agent cards against the local relay, and the
// Codex download confirmation, on the offscreen platform.

#include "agentcard.h"
#include "application.h"
#include "confirmdialog.h"
#include "drivenstate.h"
#include "mainwindow.h"
#include "relayserver.h"
#include "setuppanel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>

class TestSetup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void groupPicker();
    void modelPicker();
    void effortPicker_data();
    void effortPicker();
    void cardsCallTheirOperations_data();
    void cardsCallTheirOperations();
    void codexDownloadAsksFirst_data();
    void codexDownloadAsksFirst();
    void recheck();

private:
    AgentCard *card(int index) const { return m_window->setupPanel()->cards().at(index); }

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

RemoteGroup group(qint64 id, const QString &name)
{
    RemoteGroup value;
    value.id = id;
    value.platform = QStringLiteral("openai");
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

void TestSetup::groupPicker()
{
    QComboBox *groups = m_window->setupPanel()->groupPicker();
    const QList<RemoteGroup> list { group(7, QStringLiteral("Team")), group(9, QStringLiteral("Team")) };
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

void TestSetup::modelPicker()
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

void TestSetup::effortPicker_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored");
    QTest::newRow("low") << QStringLiteral("Low") << QStringLiteral("low");
    QTest::newRow("extra high") << QStringLiteral("Extra High") << QStringLiteral("xhigh");
}

void TestSetup::effortPicker()
{
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    QComboBox *effort = m_window->setupPanel()->effortPicker();
    choose(effort, effort->findText(shown));
    QCOMPARE(m_state->reasoningEffort(), stored);
    m_state->setReasoningEffort(QStringLiteral("medium"));
    m_state->setReasoningEffort(stored);
    QCOMPARE(effort->currentText(), shown);
}

void TestSetup::cardsCallTheirOperations_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<OfficialInstaller>("installer");
    QTest::newRow("Codex") << 0 << OfficialInstaller::codex;
    QTest::newRow("Claude Code") << 1 << OfficialInstaller::claudeCode;
    QTest::newRow("Gemini CLI") << 2 << OfficialInstaller::geminiCLI;
    QTest::newRow("Kimi Code") << 3 << OfficialInstaller::kimiCode;
    QTest::newRow("OpenCode") << 4 << OfficialInstaller::openCode;
    QTest::newRow("DeepSeek Agent") << 5 << OfficialInstaller::deepSeek;
}

void TestSetup::cardsCallTheirOperations()
{
    QFETCH(int, index);
    QFETCH(OfficialInstaller, installer);
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
    QCOMPARE(
        m_relay->requests().first().path, QStringLiteral("/agent-packages/") + packageFileName(installer));
    QTRY_VERIFY(!m_state->busy());
}

void TestSetup::codexDownloadAsksFirst_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("downloads");
    QTest::newRow("cancel button") << QStringLiteral("取消") << false;
    QTest::newRow("Escape") << QStringLiteral("Escape") << false;
    QTest::newRow("download button") << QStringLiteral("下载并打开安装包") << true;
    QTest::newRow("Return") << QStringLiteral("Return") << true;
}

void TestSetup::codexDownloadAsksFirst()
{
    QFETCH(QString, answer);
    QFETCH(bool, downloads);
    QTest::mouseClick(card(0)->downloadButton(), Qt::LeftButton);
    ConfirmDialog *dialog = m_window->downloadConfirmation();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());

    if (answer == QLatin1String("Escape"))
        QTest::keyClick(dialog, Qt::Key_Escape);
    else if (answer == QLatin1String("Return"))
        QTest::keyClick(dialog, Qt::Key_Return);
    else
        QTest::mouseClick(
            answer == dialog->cancelButton()->text() ? dialog->cancelButton() : dialog->acceptButton(),
            Qt::LeftButton);
    QTRY_VERIFY(!m_window->confirmDownload());
    QTRY_VERIFY(!m_state->busy()); // the download, when one started, has ended
    QCOMPARE(!m_relay->requests().isEmpty(), downloads);
}

void TestSetup::recheck()
{
    const QString missing = card(0)->subtitleLabel()->text();
    m_platform->codexInstalled = true;
    QTest::mouseClick(m_window->setupPanel()->recheckButton(), Qt::LeftButton);
    QVERIFY(m_state->codexInstalled());
    QVERIFY(card(0)->subtitleLabel()->text() != missing);
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" VELMORA_TEST_DATA "/screens.json");
    Application app(argc, argv);
    TestSetup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_setup.moc"
