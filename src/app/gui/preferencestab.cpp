#include "app/gui/preferencestab.h"

#include "admin/preferences.h"
#include "app/core/settings.h"
#include "app/gui/colorpanel.h"
#include "app/gui/colorword.h"
#include "app/gui/guidialogs.h"
#include "app/gui/icons.h"
#include "missions/missions.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

namespace {

// The preference-file choosers: filter and default extension.
struct FileDialogKind {
    QString filter;
    QString defaultExt;
};
const FileDialogKind VXPSaveDialog{QStringLiteral("Vexmoor Game Preferences|*.vxp"),
                                   QStringLiteral("vxp")};
const FileDialogKind VXPOpenDialog = VXPSaveDialog;
constexpr int NoLimit = std::numeric_limits<int>::max();

// The number fields: the cached value, its exit handler and the field's limits and step.
struct NumberField {
    const char *name;
    const char *caption;
    int ServerVariables::*value;
    void (Preferences::*exit)(int, int);
    int minimum;
    int maximum;
    int step;
};
const NumberField NumberFields[] = {
    {"Display_MaxPlayers", "MaxPlayers", &ServerVariables::MaxPlayers, &Preferences::MaxPlayersExit,
     -NoLimit - 1, NoLimit, 1},
    {"Display_TimeLimit", "TimeLimit", &ServerVariables::TimeLimit, &Preferences::TimeLimitExit,
     -NoLimit - 1, NoLimit, 1},
    {"Display_WarmupTime", "WarmupTime", &ServerVariables::WarmupTime, &Preferences::WarmupTimeExit,
     -NoLimit - 1, NoLimit, 1},
    {"Display_TeamDmgScale", "TeamDmgScale", &ServerVariables::TeamDmgScale,
     &Preferences::TeamDmgScaleExit, 0, 100, 5},
    {"Display_MinVotes", "MinVotes", &ServerVariables::MinVotes, &Preferences::MinVotesExit,
     -NoLimit - 1, NoLimit, 1},
    {"Display_VotingTime", "VotingTime", &ServerVariables::VotingTime, &Preferences::VotingTimeExit,
     -NoLimit - 1, NoLimit, 1},
    {"Display_MinVotesPct", "MinVotesPct", &ServerVariables::MinVotesPct,
     &Preferences::MinVotesPctExit, 0, 100, 5},
    {"Display_VoteWinMargin", "VoteWinMargin", &ServerVariables::VoteWinMargin,
     &Preferences::VoteWinMarginExit, 0, 100, 5},
};
constexpr int GameNumbers = 4; // the first four belong to the game box, the rest to voting

struct CheckField {
    const char *name;
    const char *caption;
    bool ServerVariables::*value;
    PrefCheckBox box;
};
const CheckField CheckFields[] = {
    {"Display_AutoAssignTeams", "AutoAssignTeams", &ServerVariables::AutoAssignTeams,
     PrefCheckBox::AutoAssignTeams},
    {"Display_TourneyMode", "TourneyMode", &ServerVariables::TourneyMode,
     PrefCheckBox::TourneyMode},
    {"Display_BlockAdmin", "Block Admin Voting", &ServerVariables::BlockAdmin,
     PrefCheckBox::BlockAdmin},
    {"Display_BlockTeamDmg", "Block Team Dmg Voting", &ServerVariables::BlockTeamDmg,
     PrefCheckBox::BlockTeamDmg},
    {"Display_BlockMission", "Block Mission Voting", &ServerVariables::BlockMission,
     PrefCheckBox::BlockMission},
    {"Display_BlockGameType", "Block Game Type Voting", &ServerVariables::BlockGameType,
     PrefCheckBox::BlockGameType},
};
constexpr int GameCheckBoxes = 2;

// The colour panels of this page: the first ten colour settings, in key order.
const char *const ColorPanels[][2] = {
    {"Color_Background", "Background"},  {"Color_GeneralText", "General Text"},
    {"Color_TribesText", "Tribes Text"}, {"Color_StatText", "Stat Text"},
    {"Color_GlobalMsg", "Global Msg"},   {"Color_UnknownMsg", "Unknown Msg"},
    {"Color_Team0", "Team 0"},           {"Color_Team1", "Team 1"},
    {"Color_Team2", "Team 2"},           {"Color_Team3", "Team 3"},
};

template <typename W> W *named(W *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPlainTextEdit *memo(QWidget *parent, const char *name) {
    auto *m = named(new QPlainTextEdit(parent), name);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setTabChangesFocus(true);
    // Room for four lines; longer texts scroll.
    m->setFixedHeight(m->fontMetrics().lineSpacing() * 4 + 2 * m->frameWidth() +
                      int(m->document()->documentMargin() * 2));
    return m;
}

} // namespace

PreferencesTab::PreferencesTab(TabContext &context, QWidget *parent) : Tab(context, parent) {
    // --- the server box: names and texts
    auto *serverBox = new QGroupBox(QStringLiteral("Server"), this);
    auto *serverForm = new QFormLayout(serverBox);
    m_hostName = named(new QLineEdit(serverBox), "Display_HostName");
    m_hostPort = named(new QSpinBox(serverBox), "Display_HostPort");
    m_hostPort->setRange(0, 65535);
    m_hostPort->setReadOnly(true); // shown only
    m_hostPort->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_hostPort->setMaximumWidth(90);
    m_clientPassword = named(new QLineEdit(serverBox), "Display_ClientPassword");
    m_hostInfo = memo(serverBox, "Display_HostInfo");
    m_joinMOTD = memo(serverBox, "Display_JoinMOTD");
    serverForm->addRow(QStringLiteral("HostName"), m_hostName);
    serverForm->addRow(QStringLiteral("Port"), m_hostPort);
    serverForm->addRow(QStringLiteral("Server Password"), m_clientPassword);
    serverForm->addRow(QStringLiteral("Info"), m_hostInfo);
    serverForm->addRow(QStringLiteral("JoinMOTD"), m_joinMOTD);

    // --- the game and voting boxes: numbers and switches
    auto *gameBox = new QGroupBox(QStringLiteral("Game"), this);
    auto *votingBox = new QGroupBox(QStringLiteral("Voting"), this);
    auto *gameForm = new QFormLayout(gameBox);
    auto *votingForm = new QFormLayout(votingBox);
    for (int i = 0; i < int(std::size(NumberFields)); ++i) {
        const NumberField &f = NumberFields[i];
        QGroupBox *box = i < GameNumbers ? gameBox : votingBox;
        auto *spin = named(new QSpinBox(box), f.name);
        spin->setRange(f.minimum, f.maximum);
        spin->setSingleStep(f.step);
        spin->setMaximumWidth(90);
        spin->setAlignment(Qt::AlignRight);
        (i < GameNumbers ? gameForm : votingForm)->addRow(QString::fromLatin1(f.caption), spin);
        m_numbers.append(spin);
        addField(
            spin, [spin] { return QVariant(spin->value()); },
            [this, spin, exit = f.exit](const QVariant &remembered) {
                Preferences &prefs = *m_prefs;
                (prefs.*exit)(spin->value(), remembered.toInt());
            });
    }
    for (int i = 0; i < int(std::size(CheckFields)); ++i) {
        const CheckField &f = CheckFields[i];
        QGroupBox *box = i < GameCheckBoxes ? gameBox : votingBox;
        auto *check = named(new QCheckBox(QString::fromLatin1(f.caption), box), f.name);
        (i < GameCheckBoxes ? gameForm : votingForm)->addRow(check);
        check->installEventFilter(this);
        m_checkBoxes.append(check);
        connect(check, &QCheckBox::toggled, this,
                [this, check, i](bool checked) { checkBoxToggled(check, i, checked); });
    }

    // --- the program's own settings
    auto *vexmoorBox = new QGroupBox(QStringLiteral("Vexmoor"), this);
    auto *vexmoorForm = new QFormLayout(vexmoorBox);
    vexmoorForm->setRowWrapPolicy(QFormLayout::WrapAllRows); // paths get the box's width
    m_missionsPath = named(new QLineEdit(vexmoorBox), "Display_MissionsPath");
    m_missionsPathButton = named(new QToolButton(vexmoorBox), "Button_MissionsPath");
    m_missionsPathButton->setText(QStringLiteral("..."));
    m_missionsPathButton->setToolTip(QStringLiteral("Missions Path Directory"));
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(m_missionsPath);
    pathRow->addWidget(m_missionsPathButton);
    m_vexmoorScript = named(new QLineEdit(vexmoorBox), "Display_VexmoorScript");
    m_muteCodes =
        named(new QCheckBox(QStringLiteral("Mute Vexmoor Codes"), vexmoorBox), "Display_MuteCodes");
    vexmoorForm->addRow(QStringLiteral("Missions Path"), pathRow);
    vexmoorForm->addRow(QStringLiteral("Vexmoor Script File"), m_vexmoorScript);
    vexmoorForm->addRow(m_muteCodes);

    auto *colorBox = new QGroupBox(QStringLiteral("Colours"), this);
    auto *colorGrid = new QGridLayout(colorBox);
    for (int i = 0; i < int(m_colorPanels.size()); ++i) {
        auto *panel = named(new ColorPanel(QString::fromLatin1(ColorPanels[i][1]), colorBox),
                            ColorPanels[i][0]);
        m_colorPanels[size_t(i)] = panel;
        colorGrid->addWidget(panel, i / 5, i % 5);
        connect(panel, &ColorPanel::clicked, this, [this, i] { GetAColor(i); });
    }

    // --- fields with remembered values
    addField(
        m_hostName, [this] { return QVariant(m_hostName->text()); },
        [this](const QVariant &r) { m_prefs->HostNameExit(m_hostName->text(), r.toString()); });
    addField(
        m_clientPassword, [this] { return QVariant(m_clientPassword->text()); },
        [this](const QVariant &r) {
            m_prefs->ClientPasswordExit(m_clientPassword->text(), r.toString());
        });
    // The two texts are sent whole on every exit, changed or not.
    addField(
        m_hostInfo, [this] { return QVariant(m_hostInfo->toPlainText()); },
        [this](const QVariant &) { m_prefs->HostInfoExit(m_hostInfo->toPlainText()); });
    addField(
        m_joinMOTD, [this] { return QVariant(m_joinMOTD->toPlainText()); },
        [this](const QVariant &) { m_prefs->JoinMOTDExit(m_joinMOTD->toPlainText()); });
    addField(
        m_vexmoorScript, [this] { return QVariant(m_vexmoorScript->text()); },
        [this](const QVariant &) { m_prefs->VexmoorScriptExit(m_vexmoorScript->text()); });
    addField(
        m_missionsPath, [this] { return QVariant(m_missionsPath->text()); },
        [this](const QVariant &r) {
            m_missionsPath->setText(
                m_missions->MissionsPathExit(m_missionsPath->text(), r.toString()));
        });

    // --- the bottom bar
    m_serverMode = new QToolButton(this);
    m_serverMode->setObjectName(QStringLiteral("Button_ServerMode"));
    m_serverMode->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_serverMode->setToolTip(QStringLiteral("Active / Passive Mode"));
    m_serverMode->setEnabled(false);
    showServerMode(true);
    m_refresh = commandButton("Button_Refresh", QStringLiteral("Refresh"),
                              QStringLiteral("Read the server's preferences again"));
    m_loadPreferences = commandButton("Button_LoadPreferences", QStringLiteral("Load"),
                                      QStringLiteral("Load Preferences"));
    m_savePreferences = commandButton("Button_SavePreferences", QStringLiteral("Save"),
                                      QStringLiteral("Save Game Preferences"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_serverMode);
    bottom->addStretch();
    bottom->addWidget(m_refresh);
    bottom->addWidget(m_loadPreferences);
    bottom->addWidget(m_savePreferences);

    auto *game = new QVBoxLayout;
    game->addWidget(gameBox);
    game->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(serverBox, 1);
    top->addLayout(game);
    top->addWidget(votingBox);
    auto *lower = new QHBoxLayout;
    lower->addWidget(vexmoorBox, 1);
    lower->addWidget(colorBox);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(lower);
    layout->addStretch();
    layout->addLayout(bottom);

    connect(m_serverMode, &QToolButton::clicked, this, &PreferencesTab::Button_ServerModeClick);
    connect(m_refresh, &QPushButton::clicked, this, &PreferencesTab::Button_RefreshClick);
    connect(m_loadPreferences, &QPushButton::clicked, this,
            &PreferencesTab::Button_LoadPreferencesClick);
    connect(m_savePreferences, &QPushButton::clicked, this,
            &PreferencesTab::Button_SavePreferencesClick);
    connect(m_missionsPathButton, &QToolButton::clicked, this,
            &PreferencesTab::Button_MissionsPathClick);
    connect(m_muteCodes, &QCheckBox::clicked, this, &PreferencesTab::Display_MuteCodesClick);
    applyColors();
}

void PreferencesTab::addField(QWidget *widget, std::function<QVariant()> value,
                              std::function<void(const QVariant &)> exit) {
    widget->installEventFilter(this);
    m_fields.append({widget, std::move(value), std::move(exit)});
}

const PreferencesTab::Field *PreferencesTab::fieldOf(const QObject *widget) const {
    for (const Field &f : m_fields)
        if (f.widget == widget) return &f;
    return nullptr;
}

bool PreferencesTab::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // The click marker: only a box the operator pressed may send.
        if (auto *box = qobject_cast<QCheckBox *>(watched); box && m_checkBoxes.contains(box))
            m_clickMarker.insert(box, true);
        break;
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
        const Field *field = fieldOf(watched);
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Switching windows or opening a menu does not enter or leave the field.
        if (!field || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        if (event->type() == QEvent::FocusIn) {
            m_remembered.insert(watched, field->value());
        } else {
            if (auto *spin = qobject_cast<QSpinBox *>(watched)) spin->interpretText();
            const QVariant remembered = m_remembered.take(watched);
            if (m_prefs && remembered.isValid()) field->exit(remembered);
        }
        break;
    }
    default:
        break;
    }
    return Tab::eventFilter(watched, event);
}

void PreferencesTab::checkBoxToggled(QCheckBox *box, int index, bool checked) {
    if (!m_prefs) return;
    const bool marker = m_clickMarker.value(box, false);
    if (m_prefs->CheckBoxClick(CheckFields[index].box, checked, marker)) m_clickMarker.remove(box);
}

void PreferencesTab::setPreferences(Preferences *prefs, Missions *missions) {
    m_prefs = prefs;
    m_missions = missions;
    if (!prefs) showPreferences(PreferencesPage{}); // the last profile went: a blank page
}

void PreferencesTab::showPreferences(const PreferencesPage &page) {
    m_missionsPath->setText(page.MissionsPath);
    m_vexmoorScript->setText(page.ScriptFile);
    m_hostName->setText(page.HostName);
    m_hostPort->setValue(page.HostPort);
    m_hostInfo->setPlainText(page.HostInfo);
    m_joinMOTD->setPlainText(page.JoinMOTD);
    m_clientPassword->setText(page.ClientPassword);
    for (int i = 0; i < m_numbers.size(); ++i)
        m_numbers[i]->setValue(page.*NumberFields[i].value);
    for (int i = 0; i < m_checkBoxes.size(); ++i)
        m_checkBoxes[i]->setChecked(page.*CheckFields[i].value);
    // A field being edited now remembers the shown value, so that leaving it sends only
    // what the operator changes from here on.
    if (const Field *field = fieldOf(focusWidget()); field && m_remembered.contains(field->widget))
        m_remembered.insert(field->widget, field->value());
}

void PreferencesTab::applyColors() {
    for (size_t i = 0; i < m_colorPanels.size(); ++i)
        m_colorPanels[i]->setColor(fromColorWord(m_context.Prefs.Colors[i]));
    m_muteCodes->setChecked(m_context.Prefs.MuteCodes);
}

// --- the operator's actions --------------------------------------------------------------

void PreferencesTab::showServerMode(bool active) {
    m_serverMode->setIcon(active ? Icons::bulbOn() : Icons::bulbOff());
    m_serverMode->setText(active ? QStringLiteral("Active Mode") : QStringLiteral("Passive Mode"));
}

void PreferencesTab::Button_ServerModeClick() {
    if (m_prefs) emit serverModeClicked();
}

void PreferencesTab::Button_RefreshClick() {
    if (m_prefs) m_prefs->Refresh();
}

void PreferencesTab::Button_LoadPreferencesClick() {
    QString fileName;
    if (m_prefs &&
        m_context.Dialogs.openFile(VXPOpenDialog.filter, VXPOpenDialog.defaultExt, fileName))
        m_prefs->LoadPreferenceFile(fileName);
}

void PreferencesTab::Button_SavePreferencesClick() {
    QString fileName;
    if (m_prefs &&
        m_context.Dialogs.saveFile(VXPSaveDialog.filter, VXPSaveDialog.defaultExt, fileName))
        m_prefs->SavePreferenceFile(fileName);
}

void PreferencesTab::Button_MissionsPathClick() {
    if (!m_prefs) return;
    QString folder = m_missionsPath->text();
    if (m_context.Dialogs.chooseFolder(QStringLiteral("Missions Path Directory"), folder) &&
        m_missions->MissionsPathChosen(folder, m_missionsPath->text()))
        m_missionsPath->setText(folder);
}

void PreferencesTab::Display_MuteCodesClick(bool checked) {
    m_context.Prefs.MuteCodes = checked;
    m_context.Settings.writeBool(GlobalSection, QStringLiteral("MuteCodes"), checked);
}

void PreferencesTab::GetAColor(int color) {
    quint32 word = m_context.Prefs.Colors[size_t(color)];
    m_context.Dialogs.chooseColor(word);
    // Confirmed or not, the panel's colour is stored and the views take it.
    m_context.Prefs.Colors[size_t(color)] = word;
    m_colorPanels[size_t(color)]->setColor(fromColorWord(word));
    m_context.Settings.write(GlobalSection,
                             QString::fromLatin1(GlobalPrefs::ColorKeys[size_t(color)]),
                             QString::number(word));
    emit colorsChanged();
}
