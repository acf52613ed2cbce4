#include "app/gui/chattab.h"

#include "app/core/settings.h"
#include "app/gui/guidialogs.h"
#include "platform/settingsstore.h"
#include "session/adminchat.h"
#include "session/profile.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

ChatTab::ChatTab(TabContext &context, QWidget *parent) : Tab(context, parent) {
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_nick = new QLineEdit(this);
    m_nick->setObjectName(QStringLiteral("Chat_Nick"));
    m_nick->setMaxLength(NickLength);
    m_nick->setFixedWidth(m_nick->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 9);
    m_nick->setText(m_context.Prefs.Nick.left(NickLength));
    auto *label = new QLabel(QStringLiteral("Nick:"), this);
    label->setBuddy(m_nick);
    m_clear = new QToolButton(this);
    m_clear->setObjectName(QStringLiteral("Button_ClearChat"));
    m_clear->setToolTip(QStringLiteral("Clear Chat Window"));
    m_clear->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    m_page = new QToolButton(this);
    m_page->setObjectName(QStringLiteral("Button_Page"));
    m_page->setToolTip(QStringLiteral("Page"));
    m_page->setText(QStringLiteral("Page"));
    top->addWidget(label);
    top->addWidget(m_nick);
    top->addStretch();
    top->addWidget(m_clear);
    top->addWidget(m_page);
    layout->addLayout(top);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Chat_Memo"));
    m_memo->setReadOnly(true);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setMaximumBlockCount(MemoLines);
    layout->addWidget(m_memo, 1);

    m_entry = new QLineEdit(this);
    m_entry->setObjectName(QStringLiteral("Chat_Edit"));
    m_entry->setMaxLength(TextLength);
    layout->addWidget(m_entry);

    m_nick->installEventFilter(this);
    m_entry->installEventFilter(this);
    connect(m_clear, &QToolButton::clicked, this, &ChatTab::clearChat);
    connect(m_page, &QToolButton::clicked, this, &ChatTab::Button_PageClick);
}

bool ChatTab::online() const {
    return m_profile && m_profile->isConnected();
}

void ChatTab::send(const QString &text) {
    m_profile->SendCommand(chatCommand(m_nick->text(), text));
}

void ChatTab::Button_PageClick() {
    if (online()) send(PageText);
}

void ChatTab::Chat_NickExit() {
    const QString nick = m_nick->text();
    if (nick == m_nickOnEnter) return;
    m_context.Prefs.Nick = nick;
    m_context.Settings.write(GlobalSection, QStringLiteral("Nick"), nick);
}

bool ChatTab::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_nick) {
        if (event->type() == QEvent::FocusIn)
            m_nickOnEnter = m_nick->text();
        else if (event->type() == QEvent::FocusOut)
            Chat_NickExit();
        return false;
    }
    if (watched != m_entry) return false;
    if (event->type() == QEvent::FocusIn) {
        // Entering the entry, not coming back to it from a box or another window.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (m_nick->text().isEmpty() && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason)
            QTimer::singleShot(0, this, [this] {
                m_context.Dialogs.message(platform::Dialogs::Icon::Warning,
                                          QStringLiteral("Please provide a nick before chatting."));
            });
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (online()) {
            const QString text = m_entry->text();
            send(text);
            m_lastSent = text;
            m_entry->clear();
        }
        return true; // swallowed either way
    }
    if (key == Qt::Key_Up && online()) {
        m_entry->setText(m_lastSent);
        return true;
    }
    return false;
}

void ChatTab::Chat_add(const QString &line) {
    m_memo->appendPlainText(line); // the memo drops its oldest line beyond MemoLines
}

void ChatTab::clearChat() {
    m_memo->clear();
}

void ChatTab::applyColors() {
    applyTextColors(m_context.Prefs, {m_memo, m_entry});
}
