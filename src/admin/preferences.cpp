#include "admin/preferences.h"

#include "session/reportline.h"
#include "session/server.h"

#include <QFile>
#include <QSaveFile>
#include <cmath>

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

void Preferences::PreferencesReport(const ReportFields &f) {
    int subcode = 0;
    if (!parseInt(f[1], subcode)) subcode = 0;
    ServerVariables &v = Vars;
    double d = 0;
    switch (subcode) {
    case 0:
        v.HostName = f[2];
        v.HostPort = leadingInt(f[3]);
        v.MaxPlayers = leadingInt(f[4]);
        v.TimeLimit = leadingInt(f[5]);
        v.WarmupTime = leadingInt(f[6]);
        v.AutoAssignTeams = boolWord(f[7]);
        v.TeamDmgScale = parseDecimal(f[8], d) ? fractionToPercent(d) : 0;
        v.TourneyMode = boolWord(f[9]);
        v.MinVotes = leadingInt(f[10]);
        v.MinVotesPct = parseDecimal(f[11], d) ? fractionToPercent(d) : 0;
        v.VoteWinMargin = parseDecimal(f[12], d) ? fractionToPercent(d) : 0;
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
        Missions &m = Server.missions;
        m.SetCurrentMission(f[2]);
        m.SendNextMission();
        double seconds = 0;
        if (!parseDecimal(f[3], seconds)) seconds = 0;
        m.MissionEndTime = platform::now() + seconds / platform::SecondsPerDay;
        break;
    }
    default:
        break;
    }
    Server.UpdateListName();
    ShowPreferences();
}

bool Preferences::SavePreferenceFile(const QString &fileName) const {
    const ServerVariables &v = Vars;
    const auto onOff = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    const auto trueFalse = [](bool b) {
        return b ? QStringLiteral("True") : QStringLiteral("False");
    };
    const QStringList lines = {
        QStringLiteral("$Server::HostName=\"%1\";").arg(v.HostName),
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
        QStringLiteral("$Server::Password=\"%1\";").arg(v.ClientPassword),
        QStringLiteral("$Server::JoinMOTD=\"%1\";").arg(v.JoinMOTD),
        QStringLiteral("$Server::Info=\"%1\";").arg(v.HostInfo),
        QStringLiteral("$Vexmoor::BlockADM=%1;").arg(onOff(v.BlockAdmin)),
        QStringLiteral("$Vexmoor::BlockTD=%1;").arg(onOff(v.BlockTeamDmg)),
        QStringLiteral("$Vexmoor::BlockGT=%1;").arg(onOff(v.BlockGameType)),
        QStringLiteral("$Vexmoor::BlockMIS=%1;").arg(onOff(v.BlockMission)),
    };
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    for (const QString &line : lines)
        file.write(line.toLatin1() + "\r\n");
    return file.commit();
}

void Preferences::LoadPreferenceFile(const QString &fileName) {
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QByteArray line = lines[i];
            if (line.endsWith('\r')) line.chop(1);
            // The text after the last line end is a line only when it is not empty.
            if (i == lines.size() - 1 && line.isEmpty()) break;
            if (!Server.isConnected()) break;
            Server.SendCommand(QString::fromLatin1(line) + QStringLiteral(" //VX\n"));
        }
    }
    if (Server.isConnected())
        Server.SendCommand(QStringLiteral("Vexmoor_GetPreferences(); //VX\n"));
}

void Preferences::ShowPreferences() {
    if (Server.View) Server.View->ShowPreferences(Server);
}
