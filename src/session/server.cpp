#include "session/server.h"

#include "eventlog/eventlogview.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/privatefile.h"
#include "platform/settingsstore.h"
#include "session/consolecommand.h"
#include "session/socket.h"
#include "stats/statsview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString StateConnecting = QStringLiteral("Connecting");
const QString StateConnected = QStringLiteral("Connected");
const QString StateLoggingIn = QStringLiteral("Logging in");
const QString StateOnline = QStringLiteral("Online");
const QString StateOffline = QStringLiteral("Offline");
const QString PasswordPrompt = QStringLiteral("Enter Password:");
constexpr int QuietTimeMs = 200;
} // namespace

TVexmoorServer::TVexmoorServer(const QString &password, const QString &host, int port,
                               ServerContext &context)
    : Host(host), Port(port), Password(password), Context(context), m_roster(context.PlayerSortKey),
      m_missions(*this, context.MissionSortColumn), m_prefs(*this, m_missions),
      m_stats(*this, m_roster, m_prefs.Vars.HostName), m_activity(*this, m_roster),
      m_eventLog(*this, context.Speech),
      m_events({*this, m_roster, m_eventLog, m_missions, m_stats, m_prefs}),
      m_commands(*this, m_roster), ScriptFile(m_prefs.ScriptFile) {
    m_roster.addListener(m_activity);
    m_roster.addListener(m_stats);
    m_prefs.HostNameChanged = [this] { UpdateListName(); };
    platform::SettingsStore &settings = Context.Settings;
    // Every stored profile writes it at start: one file write for all of them.
    settings.writeCoalesced(section(), QStringLiteral("Password"), Password);
    platform::makePrivateDir(directory()); // a failure shows later, in the file operations
    CreateSocket();
    SessionState = Offline;
    m_stats.CreateTables();
    m_missions.MissionsPath = settings.read(section(), QStringLiteral("MissionsPath"));
    ScriptFile = settings.read(section(), QStringLiteral("VexmoorScript"));
    m_eventLog.LogToFile = settings.readBool(section(), QStringLiteral("Log"), false);
    if (m_eventLog.LogToFile) m_eventLog.PrepareLogFile();
    Context.PlayerSortKey = 1;
    Context.MissionSortColumn = 2;
    m_roster.ResetPlayers();
    m_roster.ResetTeams();
    m_activity.ClearActivity();
    m_activity.LoadActivity();
    const QString lastList = settings.read(section(), QStringLiteral("LastMissionList"));
    if (!lastList.isEmpty())
        m_missions.LoadMissionList(lastList);
    else
        m_missions.ScanMissions();
    ActiveMode = settings.readBool(section(), QStringLiteral("ActiveMode"), true);
    m_stats.StatsEnabled = settings.readBool(section(), QStringLiteral("Stats"), false);
    if (m_stats.StatsEnabled) m_stats.OpenTables();
    m_stats.TrackKills = settings.readBool(section(), QStringLiteral("TrackKills"), true);
    m_stats.TrackMissions = settings.readBool(section(), QStringLiteral("TrackMissions"), true);

    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(QuietTimeMs);
    connect(&m_quietTimer, &QTimer::timeout, this, &TVexmoorServer::flushPendingLine);

    auto on = [this](char code, auto member) { m_dispatch.set(code, member); };
    on('!', [this] { AdminChatEcho(); });
    on('1', [this] { m_roster.PlayerListed(Report); });
    on('2', [this] { m_roster.TeamListed(Report); });
    on('A', [this] { m_events.TeamChange(Report); });
    on('B', [this] { m_roster.TeamScore(Report); });
    on('C', [this] { m_events.Connected(Report); });
    on('D', [this] { m_events.Disconnected(Report); });
    for (char code : {'E', 'F', 'G', 'H', 'I', 'J', 'O', 'P', 'R', 'Y', 'Z'})
        on(code, [this] { m_events.ReportPlayerEvent(Report); });
    on('K', [this] { m_events.Kill(Report); });
    on('T', [this] { m_events.Kill(Report); });
    on('M', [this] { m_events.MissionStart(Report); });
    on('Q', [this] { m_prefs.PreferencesReport(Report); });
    on('S', [this] { m_events.MatchResult(Report); });
    on('V', [this] { m_events.Vote(Report); });
    on('X', [] {});
}

TVexmoorServer::~TVexmoorServer() {
    m_quietTimer.stop();
    Socket.reset();
}

QString TVexmoorServer::section() const {
    return Host + QLatin1Char(':') + QString::number(Port);
}

QString TVexmoorServer::directory() const {
    return platform::profileDir(Host, Port);
}

bool TVexmoorServer::isConnected() const {
    return Socket && Socket->connected();
}

void TVexmoorServer::CreateSocket() {
    Socket = std::make_unique<TVexmoorSocket>();
    connect(Socket.get(), &TVexmoorSocket::attemptStarted, this, &TVexmoorServer::SocketConnecting);
    connect(Socket.get(), &TVexmoorSocket::established, this, &TVexmoorServer::SocketConnect);
    connect(Socket.get(), &TVexmoorSocket::dataReady, this, &TVexmoorServer::SocketRead);
    connect(Socket.get(), &TVexmoorSocket::closed, this, &TVexmoorServer::SocketDisconnect);
    connect(Socket.get(), &TVexmoorSocket::failed, this, &TVexmoorServer::SocketError);
    ReconnectPending = false;
    UserToggled = false;
}

void TVexmoorServer::ToggleConnection() {
    ReconnectPending = false;
    UserToggled = true;
    if (Socket->connected()) {
        Socket->close();
    } else if (Socket->connecting()) {
        // An abandoned attempt reports no close of its own.
        Socket->close();
        if (View) View->showConnected(false);
        setState(StateOffline);
    } else {
        Socket->open(Host, Port);
    }
}

void TVexmoorServer::Timer1Tick() {
    m_missions.UpdatePlayClock();
    m_activity.UpdateUptime();
    m_activity.CheckActivityTime();
    m_stats.SyncJournal();
}

void TVexmoorServer::RestartTick() {
    if (ReconnectPending && !Socket->connected() && !Socket->connecting()) Socket->open(Host, Port);
}

void TVexmoorServer::SendCommand(const QString &text) {
    Socket->send(LineFramer::encode(text));
}

void TVexmoorServer::ToggleMode() {
    ActiveMode = !ActiveMode;
    if (View) View->showServerMode(ActiveMode);
    Context.Settings.writeBool(section(), QStringLiteral("ActiveMode"), ActiveMode);
}

void TVexmoorServer::setState(const QString &text) {
    if (View) View->setStatusPanel(0, text);
    emit stateChanged(text);
}

void TVexmoorServer::SendExecLine() {
    SendCommand(console::command(QStringLiteral("exec(") + console::literal(ScriptFile) +
                                 QStringLiteral(");")));
}

// --- socket m_events -------------------------------------------------------------------

void TVexmoorServer::SocketConnecting() {
    setState(StateConnecting);
}

void TVexmoorServer::SocketConnect() {
    m_roster.ResetPlayers();
    m_roster.ResetTeams();
    m_framer.clear();
    m_preLogin.clear();
    m_loginRefused = false;
    ++m_connectionCount;
    if (View) {
        View->setStatusPanel(1, section());
        View->showConnected(true);
        View->clearConsole();
        View->clearCommandLine();
    }
    setState(StateConnected);
    UserToggled = false;
}

void TVexmoorServer::SocketRead() {
    const QByteArray chunk = Socket->readAll();
    switch (SessionState) {
    case Offline: {
        // Keep a short tail so that a prompt cut across two reads is still seen.
        m_preLogin.append(chunk);
        if (m_preLogin.size() > 256) m_preLogin.remove(0, m_preLogin.size() - 256);
        const QString text = trimControl(LineFramer::decode(m_preLogin));
        if (text.endsWith(PasswordPrompt)) {
            m_preLogin.clear();
            SendPassword();
        }
        break;
    }
    case LoggingIn: {
        if (m_loginRefused) break; // dropped until the refusal's box is dismissed
        const QString text = trimControl(LineFramer::decode(chunk));
        if (text.isEmpty()) break;
        if (text.front() != QLatin1Char('%')) {
            LoginFailed();
            break;
        }
        StartSession();
        // Whatever followed the reply's first line is console output already.
        if (const qsizetype lf = chunk.indexOf('\n'); lf >= 0 && SessionState == Online)
            SplitLines(chunk.mid(lf + 1));
        break;
    }
    default:
        SplitLines(chunk);
        break;
    }
}

void TVexmoorServer::SplitLines(const QByteArray &chunk) {
    for (const QString &line : m_framer.feed(chunk)) {
        ClassifyLine(line);
        if (SessionState != Online) return; // a handler closed the connection
    }
    if (m_framer.hasRemainder())
        m_quietTimer.start();
    else
        m_quietTimer.stop();
}

void TVexmoorServer::flushPendingLine() {
    if (m_framer.hasRemainder() && SessionState == Online) ClassifyLine(m_framer.takeRemainder());
}

void TVexmoorServer::SendPassword() {
    SessionState = LoggingIn;
    SendCommand(console::plainLine(Password));
    setState(StateLoggingIn);
}

void TVexmoorServer::LoginFailed() {
    // The box is not opened from inside the socket read: what the server sends while it is
    // open is read and dropped, and the connection is closed when it is dismissed.
    m_loginRefused = true;
    const int connection = m_connectionCount;
    showLater(platform::Dialogs::Icon::Error, QStringLiteral("Invalid password for ") + section(),
              [this, connection] {
                  // runs SocketDisconnect, which also resets the view
                  if (connection == m_connectionCount && Socket->connected()) Socket->close();
              });
}

void TVexmoorServer::showLater(platform::Dialogs::Icon icon, const QString &text,
                               std::function<void()> then) {
    QTimer::singleShot(0, this, [this, icon, text, then = std::move(then)] {
        Context.Dialogs.message(icon, text);
        if (then) then();
    });
}

void TVexmoorServer::StartSession() {
    const platform::DateTime t = platform::now();
    m_eventLog.AppendToLogFile(QLatin1Char('[') + platform::formatTime(t) +
                               QStringLiteral("] Session started on ") + platform::formatDate(t) +
                               QLatin1Char(' ') + QString(40, QLatin1Char('*')));
    SessionState = Online;
    m_activity.SessionStart = t;
    if (ActiveMode) SendExecLine();
    SendCommand(console::command(QStringLiteral("Vexmoor_GetStatus();")));
    SendCommand(console::command(QStringLiteral("Vexmoor_GetTeams();")));
    SendCommand(console::command(QStringLiteral("Vexmoor_GetPlayers();")));
    const QFileInfo temp(m_prefs.restoreFileName());
    if (ReconnectPending && (temp.exists() || temp.isSymLink())) {
        QString refusal;
        m_prefs.RestorePreferences(refusal);
        if (!refusal.isEmpty()) showLater(platform::Dialogs::Icon::Warning, refusal);
    } else {
        m_prefs.Refresh();
    }
    if (View) {
        View->SwitchGlobalButtons(true);
        View->enablePreferenceFiles(true);
    }
    setState(StateOnline);
}

void TVexmoorServer::SocketDisconnect() {
    m_quietTimer.stop();
    if (SessionState == Online) flushPendingLine();
    m_framer.clear();
    m_missions.MissionEndTime = 0;
    m_activity.SessionStart = 0;
    SessionState = Offline;
    m_missions.CurrentMissionName.clear();
    m_missions.CurrentMission = nullptr;
    m_roster.ResetPlayers();
    m_roster.ResetTeams();
    m_stats.CloseOutConnections();
    m_stats.CommitTables();
    if (View) {
        for (int panel = 1; panel <= 4; ++panel)
            View->setStatusPanel(panel, QString());
        View->showConnected(false);
        View->SwitchGlobalButtons(false);
    }
    if (!UserToggled) {
        ReconnectPending = true;
        // Only values the server reported in this run are worth restoring.
        if (m_prefs.Reported) m_prefs.SavePreferenceFile(m_prefs.restoreFileName());
    }
    UserToggled = false;
    setState(StateOffline);
}

QString TVexmoorServer::socketErrorText(int kind) {
    switch (kind) {
    case 0:
        return QStringLiteral("The socket generated a general error");
    case 1:
        return QStringLiteral("An error occurred while trying to write to the socket connection");
    case 2:
        return QStringLiteral("An error occurred while trying to read from the socket connection");
    case 3:
        return QStringLiteral("Connection failed");
    case 4:
        return QStringLiteral("An error occurred while trying to close the socket connection");
    case 5:
        return QStringLiteral(
            "An error occurred while trying to accept a client connection request");
    default:
        return QStringLiteral("An unknown socket error has occured");
    }
}

void TVexmoorServer::SocketError(int kind, int code) {
    if (code == TVexmoorSocket::BufferFull &&
        (kind == TVexmoorSocket::Send || kind == TVexmoorSocket::Receive))
        m_eventLog.LogEvent(QStringLiteral("Connection to %1 dropped: more than %2 MiB of console "
                                           "text waited to be %3; reconnecting.")
                                .arg(section())
                                .arg(TVexmoorSocket::MaxBuffered / (1024 * 1024))
                                .arg(kind == TVexmoorSocket::Send ? QStringLiteral("sent")
                                                                  : QStringLiteral("read")),
                            QString(), ConnectDisconnect);
    if (kind == TVexmoorSocket::Connect) setState(StateOffline);
    if (!ReconnectPending)
        Context.Dialogs.message(platform::Dialogs::Icon::Error,
                                QStringLiteral("SOCKET ERROR: ") + QString::number(code) +
                                    QLatin1Char('\n') + socketErrorText(kind));
}

// --- lines and reports ---------------------------------------------------------------

void TVexmoorServer::ClassifyLine(const QString &raw) {
    const QString line = trimControl(raw);
    if (line.isEmpty()) return;
    if (line.front() == QLatin1Char('"')) {
        DispatchReport(line);
    } else if (line == QLatin1String("Executing game.cs.") && ActiveMode) {
        SendExecLine();
    } else if (line.startsWith(QLatin1String("SAY"))) {
        HandleChatLine(line);
    } else if (View && !console::isEcho(line)) {
        View->Console_add(line, ConsoleColor::TribesText);
    }
}

void TVexmoorServer::DispatchReport(const QString &line) {
    SplitFields(line, QLatin1Char('"'), Report);
    // A line without a complete field, or with an empty field 0, carries no code.
    if (Report.FieldCount > 0) m_dispatch.dispatch(Report.code());
    if (View && !View->muteCodes()) View->Console_add(line, ConsoleColor::StatText);
    emit reportHandled();
}

void TVexmoorServer::HandleChatLine(const QString &line) {
    if (!View) return;
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0) return;
    // Positions after the colon: a blank, then the speaker's four-digit client id.
    int id = 0;
    if (!parseInt(line.mid(colon + 2, 4), id)) return;
    const PlayerSlot *speaker = m_roster.slot(id);
    if (!speaker) return;
    ConsoleColor color = ConsoleColor::GlobalMsg;
    if (line.startsWith(QLatin1String("SAYTEAM:"))) {
        static constexpr ConsoleColor teams[] = {ConsoleColor::Team0, ConsoleColor::Team1,
                                                 ConsoleColor::Team2, ConsoleColor::Team3};
        color = speaker->Team >= 0 && speaker->Team <= 3 ? teams[speaker->Team]
                                                         : ConsoleColor::UnknownMsg;
    }
    const QString message = line.mid(colon + 6);
    const qsizetype tilde = message.indexOf(QLatin1Char('~'));
    const QString spoken = tilde >= 0 ? message.left(tilde) : message;
    const QString text = speaker->Name + QStringLiteral(" : ") + message;
    m_eventLog.LogEvent(text, spoken, PlayerMessages);
    View->Console_add(text, color);
}

void TVexmoorServer::AdminChatEcho() {
    if (!View) return;
    View->Chat_add(Report[1] + QStringLiteral(": ") + Report[2]);
    if (Report[2] == QLatin1String("BEEP!")) Context.Dialogs.beep();
}

void TVexmoorServer::ChangeAddress(const QString &host, int port) {
    const QString oldSection = section();
    const QString oldDirectory = directory();
    QDir().rename(oldDirectory, platform::profileDir(host, port)); // the result is ignored
    Context.Settings.MoveSection(oldSection, host + QLatin1Char(':') + QString::number(port));
    Host = host;
    Port = port;
    m_stats.UpdateTablePaths();
}

// --- attaching -----------------------------------------------------------------------

void TVexmoorServer::setFeatureViews(::View *view) {
    View = view;
    m_roster.setView(view ? view->rosterView() : nullptr);
    m_activity.setView(view ? view->activityView() : nullptr);
    m_stats.setView(view ? view->statsView() : nullptr);
    m_missions.setView(view ? view->missionView() : nullptr);
    m_prefs.setView(view ? view->preferencesView() : nullptr);
    m_eventLog.setView(view ? view->eventLogView() : nullptr);
}

void TVexmoorServer::AttachView(::View *window) {
    setFeatureViews(window);
    if (!View) return;
    View->showConnected(isConnected());
    // Every group that follows the session is set from this profile's own state.
    View->SwitchGlobalButtons(SessionState == Online);
    View->enablePreferenceFiles(SessionState == Online);
    static const QString states[] = {StateOffline, StateLoggingIn, StateOnline};
    View->setStatusPanel(0, states[SessionState]);
    View->setStatusPanel(1, section());
    m_missions.ShowMissionPanels();
    m_roster.FillPlayerView();
    m_roster.FillTeamView();
    View->clearConsole();
    m_missions.ShowMissions();
    m_activity.ShowActivityFigures();
    m_prefs.ShowPreferences();
    View->showServerMode(ActiveMode);
    if (StatsView *statsView = View->statsView()) {
        statsView->showStatsState(m_stats.StatsEnabled, m_stats.TrackKills, m_stats.TrackMissions);
        statsView->TableListChange();
    }
    View->clearChat();
    if (EventLogView *log = View->eventLogView()) {
        log->fillPlayByPlay(m_eventLog.EventHistory);
        log->setLogFileCheck(m_eventLog.LogToFile);
    }
}

void TVexmoorServer::DetachView() {
    m_roster.ClearPlayerView();
    m_roster.ClearTeamView();
    m_missions.DetachMissionItems();
    setFeatureViews(nullptr);
}
