#include "loginpanel.h"

#include "contactcard.h"
#include "layouthelpers.h"
#include "scrollcolumn.h"
#include "state/connectstate.h"
#include "steplabel.h"
#include "symbolview.h"
#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>
#include <QLineEdit>

namespace {

ActionButton::Look loginLook()
{
    return { Theme::accent, {}, Qt::white, 8, Theme::font(15, QFont::Bold), 15 };
}

ActionButton::Look clearLook()
{
    return { Theme::withAlpha(Theme::warning, 0.16), Theme::withAlpha(Theme::warning, 0.3), Theme::warning, 7,
        Theme::font(13, QFont::DemiBold), 13 };
}

} // namespace

LoginPanel::LoginPanel(ConnectState &state, QWidget *parent)
    : Surface(Theme::black(0.28), Theme::white(0.1), 12, parent)
    , m_state(state)
    , m_address(
          new InputField(UiTexts::addressLabel, UiTexts::addressPlaceholder, Symbol::network, false, this))
    , m_email(new InputField(UiTexts::emailLabel, UiTexts::emailPlaceholder, Symbol::person, false, this))
    , m_password(
          new InputField(UiTexts::passwordLabel, UiTexts::passwordPlaceholder, Symbol::lock, true, this))
    , m_login(new ActionButton(UiTexts::login, Symbol::arrowRightCircleFill, loginLook(), this))
    , m_clear(new ActionButton(UiTexts::clear, Symbol::trashSlash, clearLook(), this))
    , m_accountCard(new Surface(Theme::white(0.05), Theme::white(0.08), 8, this))
    , m_accountName(
          new TextLabel(state.accountName(), Theme::font(20, QFont::Bold), Qt::white, m_accountCard))
    , m_accountDetail(
          new TextLabel(state.accountDetail(), Theme::font(13), Theme::white(0.58), m_accountCard))
{
    auto *content = new QWidget;
    auto *layout = column(22, content);
    addIntroduction(layout);
    addCredentials(layout);
    addButtons(layout);
    addAccountCard(layout);
    layout->addWidget(new ContactCard(state.platform().deployment().supportQQ, this));
    layout->addStretch();

    // The column is taller than the body row at the window's standard height; it scrolls
    // rather than being squeezed or cut off.
    auto *outer = column(0, this);
    outer->setContentsMargins(26, 26, 26, 26);
    m_scroll = new ScrollColumn(content, this);
    outer->addWidget(m_scroll);

    bindFields();
    followState();
}

void LoginPanel::addIntroduction(QBoxLayout *layout)
{
    layout->addWidget(new StepLabel(UiTexts::loginStep, UiTexts::loginStepTitle, this));

    auto *heading = row(10);
    heading->addWidget(new SymbolView(Symbol::personCropCircleBadgeCheckmark, 25, Theme::accent, this));
    heading->addWidget(new TextLabel(UiTexts::loginHeading, Theme::font(23, QFont::Bold), Qt::white, this));
    heading->addStretch();
    layout->addLayout(heading);

    auto *explanation = new TextLabel(UiTexts::loginExplanation, Theme::font(14), Theme::white(0.65), this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    auto *note
        = new Surface(Theme::withAlpha(Theme::accent, 0.06), Theme::withAlpha(Theme::accent, 0.18), 8, this);
    auto *noteRow = row(10, note);
    noteRow->setContentsMargins(12, 12, 12, 12);
    noteRow->addWidget(new SymbolView(Symbol::lockShieldFill, 16, Theme::accent, note));
    auto *noteTexts = column(2);
    noteTexts->addWidget(
        new TextLabel(UiTexts::secureSession, Theme::font(10, QFont::Bold), Theme::accent, note));
    noteTexts->addWidget(
        new TextLabel(UiTexts::secureSessionNote, Theme::caption(), Theme::white(0.55), note));
    noteRow->addLayout(noteTexts);
    noteRow->addStretch();
    layout->addWidget(note);
}

void LoginPanel::addCredentials(QBoxLayout *layout)
{
    auto *fields = column(14);
    fields->addWidget(m_address);
    fields->addWidget(m_email);
    fields->addWidget(m_password);
    layout->addLayout(fields);
}

void LoginPanel::addButtons(QBoxLayout *layout)
{
    m_login->setFixedHeight(46);
    m_login->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(m_login);

    auto *clearRow = row(8);
    m_clear->setFixedHeight(38);
    m_clear->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    clearRow->addWidget(m_clear, 1);
    clearRow->addWidget(new TextLabel(UiTexts::clearHint, Theme::font(11), Theme::white(0.45), this));
    layout->addLayout(clearRow);
}

void LoginPanel::addAccountCard(QBoxLayout *layout)
{
    auto *accountLayout = column(7, m_accountCard);
    accountLayout->setContentsMargins(18, 18, 18, 18);
    accountLayout->addWidget(
        new TextLabel(UiTexts::signedInAccount, Theme::font(12, QFont::Bold), Theme::accent, m_accountCard));
    accountLayout->addWidget(m_accountName);
    m_accountDetail->setWordWrap(true);
    accountLayout->addWidget(m_accountDetail);
    layout->addWidget(m_accountCard);
}

void LoginPanel::bindFields()
{
    // The fields write through, and show every change the operations make.
    const auto bind = [this](InputField *field, void (ConnectState::*setter)(const QString &),
                          void (ConnectState::*changed)(), const QString &(ConnectState::*getter)() const) {
        field->display((m_state.*getter)());
        connect(field, &InputField::edited, &m_state, setter);
        connect(&m_state, changed, field, [this, field, getter] { field->display((m_state.*getter)()); });
    };
    bind(m_address, &ConnectState::setRouterURL, &ConnectState::routerURLChanged, &ConnectState::routerURL);
    bind(m_email, &ConnectState::setUsername, &ConnectState::usernameChanged, &ConnectState::username);
    bind(m_password, &ConnectState::setPassword, &ConnectState::passwordChanged, &ConnectState::password);
}

void LoginPanel::followState()
{
    connect(m_login, &QAbstractButton::clicked, &m_state, &ConnectState::login);
    connect(m_clear, &QAbstractButton::clicked, &m_state, &ConnectState::clearConfiguration);
    connect(&m_state, &ConnectState::authenticatedChanged, this, &LoginPanel::showAuthenticated);
    // When a sign-in succeeds, bring the account card into view if the column is scrolled.
    connect(&m_state, &ConnectState::authenticatedChanged, this, [this] {
        if (m_state.authenticated())
            m_scroll->ensureWidgetVisible(m_accountCard, 0, 0);
    });
    connect(&m_state, &ConnectState::busyChanged, this, &LoginPanel::showBusy);
    connect(&m_state, &ConnectState::accountNameChanged, this,
        [this] { m_accountName->setText(m_state.accountName()); });
    connect(&m_state, &ConnectState::accountDetailChanged, this,
        [this] { m_accountDetail->setText(m_state.accountDetail()); });
    showAuthenticated();
    showBusy();
}

QList<QWidget *> LoginPanel::focusOrder() const
{
    return { m_address->edit(), m_email->edit(), m_password->edit(), m_login, m_clear };
}

void LoginPanel::showAuthenticated()
{
    const bool signedIn = m_state.authenticated();
    setColours(Theme::black(0.28), signedIn ? Theme::withAlpha(Theme::accent, 0.45) : Theme::white(0.1));
    m_login->setText(signedIn ? UiTexts::resync : UiTexts::login);
    m_login->setAccessibleName(m_login->text());
    m_login->setSymbol(signedIn ? Symbol::arrowTriangle2Circlepath : Symbol::arrowRightCircleFill);
    if (signedIn)
        m_accountCard->setColours(
            Theme::withAlpha(Theme::accent, 0.1), Theme::withAlpha(Theme::accent, 0.28));
    else
        m_accountCard->setColours(Theme::white(0.05), Theme::white(0.08));
}

void LoginPanel::showBusy()
{
    const bool busy = m_state.busy();
    m_login->setEnabled(!busy);
    m_clear->setEnabled(!busy);
}
