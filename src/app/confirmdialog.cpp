#include "confirmdialog.h"

#include "layouthelpers.h"
#include "symbolview.h"
#include "textlabel.h"
#include "theme.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QPainter>
#include <QPushButton>

ConfirmDialog::ConfirmDialog(const QString &title, const QString &message, const QString &cancel,
    const QString &accept, QWidget *parent)
    : QDialog(parent)
    , m_title(title)
    , m_message(message)
    , m_buttons(new QDialogButtonBox(this))
    , m_cancel(m_buttons->addButton(cancel, QDialogButtonBox::RejectRole))
    , m_accept(m_buttons->addButton(accept, QDialogButtonBox::AcceptRole))
{
    setWindowTitle(title);
    setAccessibleName(title);
    setAccessibleDescription(message);
    setFixedWidth(420);

    auto *layout = column(10, this);
    layout->setContentsMargins(24, 22, 24, 20);
    addTexts(layout);
    layout->addSpacing(8);
    styleButtons();
    m_buttons->setCenterButtons(true);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ConfirmDialog::addTexts(QBoxLayout *layout)
{
    auto *mark = new SymbolView(Symbol::hexagonFill, 34, Theme::accent, this);
    layout->addWidget(mark, 0, Qt::AlignHCenter);
    auto *heading = new TextLabel(m_title, Theme::font(15, QFont::Bold), Qt::white, this);
    heading->setAlignment(Qt::AlignHCenter);
    layout->addWidget(heading);
    auto *text = new TextLabel(m_message, Theme::font(13), Theme::white(0.72), this);
    text->setAlignment(Qt::AlignHCenter);
    text->setWordWrap(true);
    layout->addWidget(text);
}

void ConfirmDialog::styleButtons()
{
    m_cancel->setAccessibleName(m_cancel->text());
    m_accept->setAccessibleName(m_accept->text());
    m_accept->setDefault(true);
    // The button that goes ahead carries the accent, as the default button of an alert does.
    QPalette prominent = m_accept->palette();
    prominent.setColor(QPalette::Button, Theme::accent);
    prominent.setColor(QPalette::ButtonText, Qt::black);
    m_accept->setPalette(prominent);
    for (QPushButton *button : { m_cancel, m_accept }) {
        button->setFont(Theme::font(13, QFont::DemiBold));
        button->setMinimumHeight(30);
    }
}

void ConfirmDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 31, 37));
    painter.setPen(QPen(Theme::white(0.12), 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
