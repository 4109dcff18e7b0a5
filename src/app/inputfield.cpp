#include "inputfield.h"

#include "layouthelpers.h"
#include "surface.h"
#include "symbolview.h"
#include "textlabel.h"
#include "theme.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLineEdit>

InputField::InputField(
    const QString &label, const QString &placeholder, Symbol symbol, bool secure, QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit)
    , m_box(new Surface(Theme::white(0.055), Theme::white(0.1), 7, this))
{
    auto *layout = column(6, this);
    layout->addWidget(new TextLabel(label, Theme::font(12, QFont::DemiBold), Theme::white(0.78), this));

    auto *box = m_box;
    auto *boxLayout = row(10, box);
    boxLayout->setContentsMargins(12, 13, 12, 13);
    boxLayout->addWidget(new SymbolView(symbol, 14, Theme::withAlpha(Theme::accent, 0.75), box));
    m_edit->setParent(box);
    m_edit->setFrame(false);
    m_edit->setFont(Theme::font(14));
    m_edit->setPlaceholderText(placeholder);
    m_edit->setAccessibleName(label);
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Qt::white);
    m_edit->setPalette(palette);
    if (secure)
        m_edit->setEchoMode(QLineEdit::Password);
    boxLayout->addWidget(m_edit, 1);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!m_displaying)
            Q_EMIT edited(text);
    });
    layout->addWidget(box);
}

void InputField::display(const QString &text)
{
    if (m_edit->text() == text)
        return;
    m_displaying = true;
    m_edit->setText(text);
    m_displaying = false;
}

bool InputField::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        showFocus();
    return QWidget::eventFilter(watched, event);
}

void InputField::showFocus()
{
    // The box's border carries the focus: the edit itself has no frame to show it.
    m_box->setColours(
        Theme::white(0.055), m_edit->hasFocus() ? Theme::withAlpha(Theme::accent, 0.78) : Theme::white(0.1));
}
