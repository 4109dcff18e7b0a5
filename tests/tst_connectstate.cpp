#include "state/connectstate.h"
#include "testplatform.h"

#include <QtTest>

class TestConnectState : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initialValues();
};

void TestConnectState::initialValues()
{
    auto platform = std::make_shared<TestPlatform>();
    ConnectState state(platform);
    QCOMPARE(state.activity(), QStringLiteral("准备就绪"));
    QCOMPARE(state.accountName(), QStringLiteral("尚未登录"));
    QCOMPARE(state.routerURL(), QStringLiteral("https://api.velmora.example"));
    QCOMPARE(state.models().size(), 5);
    QVERIFY(!state.busy());
    QVERIFY(!state.authenticated());
    QVERIFY(!state.selectedGroupID());
}

QTEST_GUILESS_MAIN(TestConnectState)
#include "tst_connectstate.moc"
