#include "app/gui/mainwindow.h"

#include "app/gui/serverproperties.h"
#include "eventlog/announcer.h"
#ifdef VEXMOOR_HAVE_QTSPEECH
#include "platform/speech/qtspeechengine.h"
#endif
#include "platform/settingsstore.h"
#include "session/socket.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// 0x00BBGGRR to a colour.
QColor fromColorWord(quint32 c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QToolButton *toolButton(QWidget *parent, const char *name, const QString &text,
                        const QString &hint) {
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(hint);
    return b;
}
} // namespace

TVexmoor::TVexmoor(platform::SettingsStore &settings, QWidget *parent)
    : QMainWindow(parent), m_settings(settings), m_context{settings, m_dialogs},
      m_profiles(std::make_unique<ProfileList>(m_context)),
      m_serverDialog(new TServerProperties(this)) {
    setObjectName(QStringLiteral("Vexmoor"));
    setWindowTitle(QStringLiteral("Vexmoor"));
    resize(800, 560);
    m_dialogs.setParent(this);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    auto *top = new QHBoxLayout;
    m_connect = toolButton(central, "Button_Connect", QStringLiteral("Connect"),
                           QStringLiteral("Open / Close Connection"));
    m_connect->setCheckable(true);
    m_serverList = new QComboBox(central);
    m_serverList->setObjectName(QStringLiteral("ServerList"));
    m_serverList->setMinimumWidth(220);
    m_add = toolButton(central, "Button_AddServer", QStringLiteral("Add"),
                       QStringLiteral("Add Server"));
    m_edit = toolButton(central, "Button_EditServer", QStringLiteral("Edit"),
                        QStringLiteral("Edit Server"));
    m_remove = toolButton(central, "Button_RemoveServer", QStringLiteral("Remove"),
                          QStringLiteral("Remove Server"));
    top->addWidget(m_connect);
    top->addStretch();
    top->addWidget(m_add);
    top->addWidget(m_edit);
    top->addWidget(m_remove);
    top->addWidget(m_serverList);
    layout->addLayout(top);

    auto *pages = new QTabWidget(central);
    pages->setObjectName(QStringLiteral("Pages"));
    auto *serverPage = new QWidget(pages);
    auto *serverLayout = new QVBoxLayout(serverPage);
    m_console = new QTextEdit(serverPage);
    m_console->setObjectName(QStringLiteral("Console"));
    m_console->setReadOnly(true);
    m_console->document()->setMaximumBlockCount(2000);
    m_commandLine = new QLineEdit(serverPage);
    m_commandLine->setObjectName(QStringLiteral("Edit1"));
    serverLayout->addWidget(m_console);
    serverLayout->addWidget(m_commandLine);
    pages->addTab(serverPage, QStringLiteral("Server"));
    layout->addWidget(pages);
    setCentralWidget(central);

    static const int widths[] = {75, 120, 150, 150, 60, 50};
    for (size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setMinimumWidth(widths[i]);
        if (i >= 1 && i <= 4) m_panels[i]->setAlignment(Qt::AlignCenter);
        statusBar()->addWidget(m_panels[i]);
    }
    m_panels[0]->setText(QStringLiteral("Offline"));

    connect(m_connect, &QToolButton::clicked, this, &TVexmoor::Button_ConnectClick);
    connect(m_add, &QToolButton::clicked, this, &TVexmoor::Button_AddServerClick);
    connect(m_edit, &QToolButton::clicked, this, &TVexmoor::Button_EditServerClick);
    connect(m_remove, &QToolButton::clicked, this, &TVexmoor::Button_RemoveServerClick);
    connect(m_serverList, &QComboBox::currentIndexChanged, this, &TVexmoor::ServerListChange);
    connect(m_commandLine, &QLineEdit::returnPressed, this, &TVexmoor::sendFreeCommand);
    connect(m_profiles.get(), &ProfileList::listNameChanged, this, [this](TVexmoorServer *p) {
        const int i = m_profiles->indexOf(p);
        if (i >= 0) m_serverList->setItemText(i, ProfileList::listName(*p));
    });

    SwitchServerButtons(false);
    SwitchGlobalButtons(false);
    m_connect->setEnabled(false);

    m_speech = std::make_unique<Announcer>(m_settings, m_dialogs);
#ifdef VEXMOOR_HAVE_QTSPEECH
    m_speech->InitTTS(platform::QtSpeechEngine::create());
#else
    m_speech->InitTTS(nullptr);
#endif
    m_prefs = ReadPrefs(m_settings);
    m_speech->ReadSpeechPrefs();
    m_context.Speech = m_speech.get();
    m_profiles->setCommitInterval(m_prefs.CommitTimerMinutes);
    ::ReadServers(m_settings, [this](const QString &password, const QString &ip, int port) {
        addProfile(password, ip, port);
    });
}

TVexmoor::~TVexmoor() {
    if (CurrentServer) CurrentServer->DetachView();
    CurrentServer = nullptr;
    m_context.Speech = nullptr; // the announcer goes before the profiles
}

void TVexmoor::addProfile(const QString &password, const QString &ip, int port) {
    SwitchServerButtons(true);
    TVexmoorServer *p = m_profiles->ServerAdd(password, ip, port);
    const QSignalBlocker block(m_serverList);
    m_serverList->addItem(p->section());
    m_serverList->setCurrentIndex(m_serverList->count() - 1);
    ServerListChange();
    m_connect->setEnabled(true);
}

void TVexmoor::ServerListChange() {
    if (CurrentServer) CurrentServer->DetachView();
    CurrentServer = m_profiles->at(m_serverList->currentIndex());
    if (CurrentServer) CurrentServer->AttachView(this);
}

void TVexmoor::SwitchServerButtons(bool on) {
    m_serverList->setEnabled(on);
    m_commandLine->setEnabled(on);
}

void TVexmoor::Button_ConnectClick() {
    if (CurrentServer) CurrentServer->ToggleConnection();
    showConnected(CurrentServer && CurrentServer->isConnected());
}

void TVexmoor::Button_AddServerClick() {
    if (m_serverDialog->exec() == QDialog::Accepted)
        addProfile(m_serverDialog->password(), m_serverDialog->ip(), m_serverDialog->port());
}

void TVexmoor::Button_EditServerClick() {
    TVexmoorServer *p = CurrentServer;
    if (!p || p->isConnected()) return;
    m_serverDialog->setValues(p->Host, p->Port, p->Password);
    if (m_serverDialog->exec() != QDialog::Accepted) return;
    if (m_serverDialog->ip() != p->Host || m_serverDialog->port() != p->Port)
        p->ChangeAddress(m_serverDialog->ip(), m_serverDialog->port());
    p->Password = m_serverDialog->password();
    m_settings.write(p->section(), QStringLiteral("Password"), p->Password);
    p->UpdateListName();
    setStatusPanel(1, p->section());
}

void TVexmoor::Button_RemoveServerClick() {
    const int index = m_serverList->currentIndex();
    if (index < 0 || (CurrentServer && CurrentServer->isConnected())) return;
    if (!m_dialogs.confirm(
            QStringLiteral("Are you absolutely sure you want to COMPLETELY remove the ") +
            m_serverList->currentText() +
            QStringLiteral(" profile?  All databases and logs will be deleted !!")))
        return;
    const QSignalBlocker block(m_serverList);
    if (CurrentServer) CurrentServer->DetachView();
    CurrentServer = nullptr;
    m_serverList->removeItem(index);
    m_profiles->remove(index);
    if (m_serverList->count() == 0) {
        clearConsole();
        for (QLabel *panel : m_panels)
            panel->clear();
        m_panels[0]->setText(QStringLiteral("Offline"));
        SwitchServerButtons(false);
        m_connect->setEnabled(false);
    } else {
        m_serverList->setCurrentIndex(0);
    }
    ServerListChange();
}

void TVexmoor::sendFreeCommand() {
    if (!CurrentServer || !CurrentServer->isConnected()) return;
    CurrentServer->SendCommand(m_commandLine->text() + QLatin1Char('\n'));
    m_commandLine->clear();
}

void TVexmoor::setStatusPanel(int panel, const QString &text) {
    if (panel >= 0 && panel < static_cast<int>(m_panels.size()))
        m_panels[static_cast<size_t>(panel)]->setText(text);
}

void TVexmoor::showConnected(bool connected) {
    m_connect->setChecked(connected);
    m_connect->setIcon(
        style()->standardIcon(connected ? QStyle::SP_DialogYesButton : QStyle::SP_DialogNoButton));
    m_edit->setEnabled(!connected);
    m_remove->setEnabled(!connected);
}

void TVexmoor::SwitchGlobalButtons(bool) {}

void TVexmoor::Console_add(const QString &text, ConsoleColor color) {
    // Colour words in the order of ConsoleColor, from the colour settings.
    static constexpr size_t colorIndex[] = {2, 3, 4, 5, 6, 7, 8, 9};
    m_console->setTextColor(fromColorWord(m_prefs.Colors[colorIndex[static_cast<int>(color)]]));
    m_console->append(text);
}

void TVexmoor::clearConsole() {
    m_console->clear();
}

void TVexmoor::clearCommandLine() {
    m_commandLine->clear();
}

void TVexmoor::closeEvent(QCloseEvent *event) {
    if (!m_closed) {
        m_closed = true;
        m_profiles->closeAll();
    }
    event->accept();
}
