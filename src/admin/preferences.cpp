#include "admin/preferences.h"

#include "missions/missions.h"
#include "platform/dialogs.h"
#include "platform/privatefile.h"
#include "platform/settingsstore.h"
#include "session/consolecommand.h"
#include "session/framer.h"
#include "session/profile.h"
#include "session/reportline.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

namespace {
const QString GetPreferences = console::command(QStringLiteral("Vexmoor_GetPreferences();"));
// The largest preference file that is read; a saved one is a few hundred bytes.
constexpr qint64 PreferenceFileLimit = 1024 * 1024;

// An assignment command: "variable = value;" with the marker.
QString assignment(const QString &variable, const QString &value) {
    return console::command(variable + QStringLiteral(" = ") + value + QLatin1Char(';'));
}

QString zeroOne(bool b) {
    return b ? QStringLiteral("1") : QStringLiteral("0");
}
} // namespace

QString escapeConsoleText(const QString &text) {
    QString s = text;
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.remove(QLatin1Char('\r'));
    s.replace(QLatin1Char('"'), QLatin1Char('\''));
    s.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return s;
}

QString unescapeConsoleText(const QString &text) {
    QString s = text;
    s.replace(QLatin1String("\\n"), QLatin1String("\n"));
    s.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    return s;
}

QString percentToFraction(int percent) {
    // Shortest decimal form of percent / 100, computed on integers to stay exact.
    const bool negative = percent < 0;
    const qint64 p = std::abs(static_cast<qint64>(percent));
    QString s = QString::number(p / 100);
    if (const qint64 cents = p % 100; cents != 0) {
        s += QLatin1Char('.') + QStringLiteral("%1").arg(cents, 2, 10, QLatin1Char('0'));
        if (s.endsWith(QLatin1Char('0'))) s.chop(1);
    }
    return negative && p != 0 ? QLatin1Char('-') + s : s;
}

QString percentToFixedFraction(int percent) {
    const bool negative = percent < 0;
    const qint64 p = std::abs(static_cast<qint64>(percent));
    const QString s = QString::number(p / 100) + QLatin1Char('.') +
                      QStringLiteral("%1").arg(p % 100, 2, 10, QLatin1Char('0'));
    return negative && p != 0 ? QLatin1Char('-') + s : s;
}

int fractionToPercent(double fraction) {
    const double v = std::nearbyint(fraction * 100.0); // the default rounding: halves to even
    if (!std::isfinite(v) || v > 2147483647.0 || v < -2147483648.0) return 0;
    return static_cast<int>(v);
}

bool boolWord(const QString &text) {
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1");
}

// --- the cache -----------------------------------------------------------------------

Preferences::Preferences(Profile &profile, Missions &missions)
    : m_profile(profile), m_missions(missions) {
    // A restore file left by an earlier run holds values of another session: only a
    // disconnect of this run may be followed by a restore.
    QFile::remove(restoreFileName());
}

QString Preferences::restoreFileName() const {
    return m_profile.directory() + QStringLiteral("/vxtemp.vxp");
}

void Preferences::send(const QString &command) {
    if (m_profile.isConnected()) m_profile.SendCommand(command);
}

void Preferences::PreferencesReport(const ReportFields &f) {
    int subcode = 0;
    if (!parseInt(f[1], subcode)) subcode = 0;
    ServerVariables &v = Vars;
    const auto percent = [](const QString &field) {
        double d = 0;
        return parseDecimal(field, d) ? fractionToPercent(d) : 0;
    };
    switch (subcode) {
    case 0:
        v.HostName = f[2];
        v.HostPort = leadingInt(f[3]);
        v.MaxPlayers = leadingInt(f[4]);
        v.TimeLimit = leadingInt(f[5]);
        v.WarmupTime = leadingInt(f[6]);
        v.AutoAssignTeams = boolWord(f[7]);
        v.TeamDmgScale = percent(f[8]);
        v.TourneyMode = boolWord(f[9]);
        v.MinVotes = leadingInt(f[10]);
        v.MinVotesPct = percent(f[11]);
        v.VoteWinMargin = percent(f[12]);
        v.VotingTime = leadingInt(f[13]);
        v.BlockAdmin = f[14] == QLatin1String("1");
        v.BlockTeamDmg = f[15] == QLatin1String("1");
        v.BlockGameType = f[16] == QLatin1String("1");
        v.BlockMission = f[17] == QLatin1String("1");
        v.ClientPassword = f[18];
        Reported = true;
        break;
    case 1:
        v.HostInfo = f[2];
        v.JoinMOTD = f[3];
        Reported = true;
        break;
    case 3: {
        Missions &m = m_missions;
        m.SetCurrentMission(f[2]);
        m.SendNextMission();
        m.SetTimeLeft(f[3]);
        break;
    }
    default:
        break;
    }
    hostNameChanged();
    ShowPreferences();
}

void Preferences::hostNameChanged() {
    if (HostNameChanged) HostNameChanged();
}

void Preferences::ShowPreferences() {
    if (!m_view) return;
    const ServerVariables &v = Vars;
    PreferencesPage page;
    page.MissionsPath = m_missions.MissionsPath;
    page.ScriptFile = ScriptFile;
    static_cast<ServerVariables &>(page) = v;
    page.HostInfo = unescapeConsoleText(v.HostInfo);
    page.JoinMOTD = unescapeConsoleText(v.JoinMOTD);
    m_view->showPreferences(page);
}

void Preferences::Refresh() {
    send(GetPreferences);
}

// --- leaving the fields --------------------------------------------------------------

void Preferences::HostNameExit(const QString &text, const QString &remembered) {
    if (text == remembered) return;
    Vars.HostName = text;
    send(assignment(QStringLiteral("$Server::HostName"), console::literal(text)));
    hostNameChanged();
}

void Preferences::HostInfoExit(const QString &memoText) {
    Vars.HostInfo = escapeConsoleText(memoText);
    send(assignment(QStringLiteral("$Server::Info"),
                    QLatin1Char('"') + console::normalizedLiteralBody(Vars.HostInfo) +
                        QLatin1Char('"')));
}

void Preferences::JoinMOTDExit(const QString &memoText) {
    Vars.JoinMOTD = escapeConsoleText(memoText);
    send(assignment(QStringLiteral("$Server::JoinMOTD"),
                    QLatin1Char('"') + console::normalizedLiteralBody(Vars.JoinMOTD) +
                        QLatin1Char('"')));
}

void Preferences::ClientPasswordExit(const QString &text, const QString &remembered) {
    if (text == remembered) return;
    Vars.ClientPassword = text;
    send(assignment(QStringLiteral("$Server::Password"), console::literal(text)));
}

void Preferences::numberExit(int &cached, const char *variable, int value, int remembered,
                             bool percent) {
    if (value == remembered) return;
    cached = value;
    send(assignment(QLatin1String(variable),
                    percent ? percentToFraction(value) : QString::number(value)));
}

void Preferences::MaxPlayersExit(int value, int remembered) {
    numberExit(Vars.MaxPlayers, "$Server::MaxPlayers", value, remembered, false);
}

void Preferences::TimeLimitExit(int value, int remembered) {
    numberExit(Vars.TimeLimit, "$Server::TimeLimit", value, remembered, false);
}

void Preferences::WarmupTimeExit(int value, int remembered) {
    numberExit(Vars.WarmupTime, "$Server::WarmupTime", value, remembered, false);
}

void Preferences::MinVotesExit(int value, int remembered) {
    numberExit(Vars.MinVotes, "$Server::MinVotes", value, remembered, false);
}

void Preferences::VotingTimeExit(int value, int remembered) {
    numberExit(Vars.VotingTime, "$Server::VotingTime", value, remembered, false);
}

void Preferences::MinVotesPctExit(int value, int remembered) {
    numberExit(Vars.MinVotesPct, "$Server::MinVotesPct", value, remembered, true);
}

void Preferences::VoteWinMarginExit(int value, int remembered) {
    numberExit(Vars.VoteWinMargin, "$Server::VoteWinMargin", value, remembered, true);
}

void Preferences::TeamDmgScaleExit(int value, int remembered) {
    if (value == remembered) return;
    numberExit(Vars.TeamDmgScale, "$Server::TeamDamageScale", value, remembered, true);
    send(console::command(
        value <= 0 ? QStringLiteral("messageAll(0, \"Team damage DISABLED by admin.\");")
                   : QStringLiteral("messageAll(0, \"Team damage ENABLED by admin.\");")));
}

void Preferences::VexmoorScriptExit(const QString &text) {
    ScriptFile = text;
    m_profile.settings().write(m_profile.section(), QStringLiteral("VexmoorScript"), text);
}

// --- check boxes ---------------------------------------------------------------------

bool Preferences::CheckBoxClick(PrefCheckBox box, bool checked, bool markerPresent) {
    const bool sending = markerPresent && m_profile.isConnected();
    const auto assign = [&](bool &cached, const char *variable) {
        cached = checked;
        if (sending) send(assignment(QLatin1String(variable), zeroOne(checked)));
        return sending;
    };
    switch (box) {
    case PrefCheckBox::AutoAssignTeams:
        return assign(Vars.AutoAssignTeams, "$Server::AutoAssignTeams");
    case PrefCheckBox::TourneyMode:
        Vars.TourneyMode = checked;
        if (sending) {
            send(console::command(
                checked
                    ? QStringLiteral("messageAll(0, \"Server switched to Tournament Mode.\");")
                    : QStringLiteral("messageAll(0, \"Server switched to Free-For-All Mode.\");")));
            send(assignment(QStringLiteral("$Server::TourneyMode"), zeroOne(checked)));
            send(console::command(QStringLiteral("Server::NextMission();")));
        }
        return true; // this box drops its marker after every click
    case PrefCheckBox::BlockAdmin:
        return assign(Vars.BlockAdmin, "$Vexmoor::BlockADM");
    case PrefCheckBox::BlockGameType:
        return assign(Vars.BlockGameType, "$Vexmoor::BlockGT");
    case PrefCheckBox::BlockTeamDmg:
        return assign(Vars.BlockTeamDmg, "$Vexmoor::BlockTD");
    case PrefCheckBox::BlockMission:
        return assign(Vars.BlockMission, "$Vexmoor::BlockMIS");
    }
    return false;
}

// --- preference files ----------------------------------------------------------------

bool Preferences::SavePreferenceFile(const QString &fileName) const {
    const ServerVariables &v = Vars;
    const auto trueFalse = [](bool b) {
        return b ? QStringLiteral("True") : QStringLiteral("False");
    };
    const QStringList lines = {
        QStringLiteral("$Server::HostName=\"%1\";").arg(console::literalBody(v.HostName)),
        QStringLiteral("$Server::Port=%1;").arg(v.HostPort),
        QStringLiteral("$Server::MaxPlayers=%1;").arg(v.MaxPlayers),
        QStringLiteral("$Server::TimeLimit=%1;").arg(v.TimeLimit),
        QStringLiteral("$Server::WarmupTime=%1;").arg(v.WarmupTime),
        QStringLiteral("$Server::TeamDamageScale=%1;").arg(percentToFixedFraction(v.TeamDmgScale)),
        QStringLiteral("$Server::AutoAssignTeams=%1;").arg(trueFalse(v.AutoAssignTeams)),
        QStringLiteral("$Server::TourneyMode=%1;").arg(trueFalse(v.TourneyMode)),
        QStringLiteral("$Server::MinVotes=%1;").arg(v.MinVotes),
        QStringLiteral("$Server::MinVotesPct=%1;").arg(percentToFixedFraction(v.MinVotesPct)),
        QStringLiteral("$Server::VoteWinMargin=%1;").arg(percentToFixedFraction(v.VoteWinMargin)),
        QStringLiteral("$Server::VotingTime=%1;").arg(v.VotingTime),
        QStringLiteral("$Server::Password=\"%1\";").arg(console::literalBody(v.ClientPassword)),
        QStringLiteral("$Server::JoinMOTD=\"%1\";").arg(console::normalizedLiteralBody(v.JoinMOTD)),
        QStringLiteral("$Server::Info=\"%1\";").arg(console::normalizedLiteralBody(v.HostInfo)),
        QStringLiteral("$Vexmoor::BlockADM=%1;").arg(zeroOne(v.BlockAdmin)),
        QStringLiteral("$Vexmoor::BlockTD=%1;").arg(zeroOne(v.BlockTeamDmg)),
        QStringLiteral("$Vexmoor::BlockGT=%1;").arg(zeroOne(v.BlockGameType)),
        QStringLiteral("$Vexmoor::BlockMIS=%1;").arg(zeroOne(v.BlockMission)),
    };
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += LineFramer::encode(line) + "\r\n";
    // Private (it holds the join password), and never written through a link.
    return platform::replaceFile(fileName, bytes);
}

namespace {

enum class ValueKind { Text, Integer, Fraction, TrueFalse, ZeroOne };

// The variables a saved preference file assigns, with the kind of their values.
const QList<QPair<QString, ValueKind>> &savedVariables() {
    static const QList<QPair<QString, ValueKind>> variables = {
        {QStringLiteral("$Server::HostName"), ValueKind::Text},
        {QStringLiteral("$Server::Port"), ValueKind::Integer},
        {QStringLiteral("$Server::MaxPlayers"), ValueKind::Integer},
        {QStringLiteral("$Server::TimeLimit"), ValueKind::Integer},
        {QStringLiteral("$Server::WarmupTime"), ValueKind::Integer},
        {QStringLiteral("$Server::TeamDamageScale"), ValueKind::Fraction},
        {QStringLiteral("$Server::AutoAssignTeams"), ValueKind::TrueFalse},
        {QStringLiteral("$Server::TourneyMode"), ValueKind::TrueFalse},
        {QStringLiteral("$Server::MinVotes"), ValueKind::Integer},
        {QStringLiteral("$Server::MinVotesPct"), ValueKind::Fraction},
        {QStringLiteral("$Server::VoteWinMargin"), ValueKind::Fraction},
        {QStringLiteral("$Server::VotingTime"), ValueKind::Integer},
        {QStringLiteral("$Server::Password"), ValueKind::Text},
        {QStringLiteral("$Server::JoinMOTD"), ValueKind::Text},
        {QStringLiteral("$Server::Info"), ValueKind::Text},
        {QStringLiteral("$Vexmoor::BlockADM"), ValueKind::ZeroOne},
        {QStringLiteral("$Vexmoor::BlockTD"), ValueKind::ZeroOne},
        {QStringLiteral("$Vexmoor::BlockGT"), ValueKind::ZeroOne},
        {QStringLiteral("$Vexmoor::BlockMIS"), ValueKind::ZeroOne},
    };
    return variables;
}

bool isValue(ValueKind kind, const QString &value) {
    static const QRegularExpression integer(QStringLiteral("^-?[0-9]{1,10}$"));
    static const QRegularExpression fraction(QStringLiteral("^-?[0-9]{1,9}(\\.[0-9]{1,6})?$"));
    switch (kind) {
    case ValueKind::Text:
        return value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
               value.endsWith(QLatin1Char('"')) &&
               console::isLiteralBody(QStringView(value).sliced(1, value.size() - 2));
    case ValueKind::Integer: {
        bool ok = false;
        value.toInt(&ok);
        return ok && integer.match(value).hasMatch();
    }
    case ValueKind::Fraction:
        return fraction.match(value).hasMatch();
    case ValueKind::TrueFalse:
        return value.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
               value.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0 ||
               value == QLatin1String("1") || value == QLatin1String("0");
    case ValueKind::ZeroOne:
        return value == QLatin1String("1") || value == QLatin1String("0");
    }
    return false;
}

// True when line (trimmed) is "variable=value;" for a saved variable and a value of its kind.
bool isSavedAssignment(const QString &line) {
    if (!line.endsWith(QLatin1Char(';'))) return false;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) return false;
    const QString name = line.left(eq).trimmed();
    const QString value = line.mid(eq + 1, line.size() - eq - 2).trimmed();
    for (const auto &[variable, kind] : savedVariables())
        if (name.compare(variable, Qt::CaseInsensitive) == 0) return isValue(kind, value);
    return false;
}

// A line as a message shows it: control characters visible, and not too long.
QString shownLine(const QString &line) {
    QString out = line.left(120);
    for (QChar &c : out)
        if (c.unicode() < 32 || c.unicode() == 127) c = QChar(0xFFFD);
    return line.size() > 120 ? out + QStringLiteral("...") : out;
}

} // namespace

bool parsePreferenceFile(const QByteArray &bytes, QStringList &commands, QString &problem) {
    commands.clear();
    problem.clear();
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = LineFramer::decode(lines[i]).trimmed();
        if (line.isEmpty()) continue;
        if (!isSavedAssignment(line)) {
            problem = QStringLiteral("line %1 is not one of the settings a saved preference "
                                     "file holds: %2")
                          .arg(i + 1)
                          .arg(shownLine(line));
            commands.clear();
            return false;
        }
        commands << console::command(line);
    }
    return true;
}

bool Preferences::replay(const QString &fileName, bool followLinks, QString &refusal) {
    refusal.clear();
    bool sent = false;
    QByteArray bytes;
    bool truncated = false;
    if (m_profile.isConnected() &&
        platform::readRegularFile(fileName, {PreferenceFileLimit, followLinks}, bytes,
                                  &truncated)) {
        QStringList commands;
        QString problem;
        if (truncated) {
            refusal = QStringLiteral("The preference file %1 was not loaded: it is larger than "
                                     "%2 KiB.")
                          .arg(fileName)
                          .arg(PreferenceFileLimit / 1024);
        } else if (!parsePreferenceFile(bytes, commands, problem)) {
            refusal =
                QStringLiteral("The preference file %1 was not loaded: %2").arg(fileName, problem);
        } else {
            for (const QString &command : commands) {
                if (!m_profile.isConnected()) break;
                m_profile.SendCommand(command);
            }
            sent = true;
        }
    }
    send(GetPreferences);
    return sent;
}

bool Preferences::LoadPreferenceFile(const QString &fileName) {
    QString refusal;
    const bool sent = replay(fileName, true, refusal);
    if (!refusal.isEmpty()) m_profile.dialogs().message(platform::Dialogs::Icon::Warning, refusal);
    return sent;
}

bool Preferences::RestorePreferences(QString &refusal) {
    const QString fileName = restoreFileName();
    const bool sent = replay(fileName, false, refusal);
    QFile::remove(fileName); // a link is removed as a link
    return sent;
}
