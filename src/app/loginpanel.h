#pragma once

#include "actionbutton.h"
#include "inputfield.h"
#include "surface.h"
#include "textlabel.h"

class ConnectState;
class QBoxLayout;
class ScrollColumn;

// Step 01: the address, e-mail and password fields bound to the state, the login and clear
// buttons, the account card and the contact card.
class LoginPanel : public Surface
{
    Q_OBJECT
public:
    explicit LoginPanel(ConnectState &state, QWidget *parent = nullptr);

    InputField *addressField() const { return m_address; }
    InputField *emailField() const { return m_email; }
    InputField *passwordField() const { return m_password; }
    ActionButton *loginButton() const { return m_login; }
    ActionButton *clearButton() const { return m_clear; }
    Surface *accountCard() const { return m_accountCard; }
    TextLabel *accountNameLabel() const { return m_accountName; }
    TextLabel *accountDetailLabel() const { return m_accountDetail; }
    // The panel's controls in reading order.
    QList<QWidget *> focusOrder() const;

private:
    void addIntroduction(QBoxLayout *layout);
    void addCredentials(QBoxLayout *layout);
    void addButtons(QBoxLayout *layout);
    void addAccountCard(QBoxLayout *layout);
    void bindFields();
    void followState();
    void showAuthenticated();
    void showBusy();

    ConnectState &m_state;
    ScrollColumn *m_scroll = nullptr;
    InputField *m_address;
    InputField *m_email;
    InputField *m_password;
    ActionButton *m_login;
    ActionButton *m_clear;
    Surface *m_accountCard;
    TextLabel *m_accountName;
    TextLabel *m_accountDetail;
};
