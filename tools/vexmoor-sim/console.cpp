#include "console.h"

#include "report.h"

namespace sim {

namespace {

// Index of the first occurrence of any of chars outside a string literal, or -1.
qsizetype findOutsideQuotes(const QString &text, QStringView chars, qsizetype from = 0) {
    bool quoted = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == QLatin1Char('"'))
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (chars.contains(c)) {
            if (c == QLatin1Char('/') && (i + 1 >= text.size() || text.at(i + 1) != c)) continue;
            return i;
        }
    }
    return -1;
}

QString valueOf(const QString &token) {
    const QString t = token.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"')))
        return unescapeLiteral(t.mid(1, t.size() - 2));
    if (t.startsWith(QLatin1Char('"'))) // unterminated literal
        return unescapeLiteral(t.mid(1));
    return t;
}

Statement parseStatement(const QString &text) {
    Statement s;
    if (text.startsWith(QLatin1Char('$'))) {
        const qsizetype eq = findOutsideQuotes(text, u"=");
        if (eq < 0) {
            s.kind = Statement::Read;
            s.name = text.trimmed();
        } else {
            s.kind = Statement::Assign;
            s.name = text.left(eq).trimmed();
            s.value = valueOf(text.mid(eq + 1));
        }
        return s;
    }
    const qsizetype open = text.indexOf(QLatin1Char('('));
    const qsizetype close = text.lastIndexOf(QLatin1Char(')'));
    if (open <= 0 || close < open) return s;
    s.kind = Statement::Call;
    s.name = text.left(open).trimmed();
    const QString inner = text.mid(open + 1, close - open - 1);
    if (inner.trimmed().isEmpty()) return s;
    qsizetype start = 0;
    for (;;) {
        const qsizetype comma = findOutsideQuotes(inner, u",", start);
        if (comma < 0) {
            s.args << valueOf(inner.mid(start));
            break;
        }
        s.args << valueOf(inner.mid(start, comma - start));
        start = comma + 1;
    }
    return s;
}

bool same(const QString &a, const char *b) {
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

} // namespace

QList<Statement> parseCommandLine(const QString &line) {
    QString text = line;
    const qsizetype comment = findOutsideQuotes(text, u"/");
    if (comment >= 0) text.truncate(comment);
    QList<Statement> out;
    qsizetype start = 0;
    for (;;) {
        const qsizetype semi = findOutsideQuotes(text, u";", start);
        const QString part = text.mid(start, semi < 0 ? -1 : semi - start).trimmed();
        if (!part.isEmpty()) out << parseStatement(part);
        if (semi < 0) break;
        start = semi + 1;
    }
    return out;
}

QString Console::missionStart(const QString &name) const {
    const int minutes = m_state.variable(QStringLiteral("$Server::TimeLimit")).toInt();
    return formatReport({QStringLiteral("M"), name, QString::number(minutes * 60)});
}

ConsoleOutput Console::execute(const QString &line) {
    ConsoleOutput out;
    for (const Statement &s : parseCommandLine(line)) {
        switch (s.kind) {
        case Statement::Assign:
            m_state.setVariable(s.name, s.value);
            break;
        case Statement::Read:
            out.reply << QStringLiteral("%1 = \"%2\"").arg(s.name, m_state.variable(s.name));
            break;
        case Statement::Call:
            call(s, out);
            break;
        case Statement::Invalid:
            out.reply << QStringLiteral("Syntax error in input.");
            break;
        }
    }
    // Game events change the state as they happen, so later calls on the same line
    // already see them.
    return out;
}

void Console::call(const Statement &s, ConsoleOutput &out) {
    const QString &n = s.name;
    auto arg = [&s](int i) { return i < s.args.size() ? s.args.at(i) : QString(); };
    out.calls << n;
    auto event = [&](const QString &report) {
        m_state.apply(report);
        out.broadcast << report;
    };

    if (same(n, "exec")) {
        if (arg(0).isEmpty())
            out.reply << QStringLiteral("exec: invalid script file name.");
        else
            out.reply << QStringLiteral("Executing %1.").arg(arg(0))
                      << formatReport({QStringLiteral("X"), QStringLiteral("Vexmoor script loaded"),
                                       arg(0)});
    } else if (same(n, "Vexmoor_GetStatus")) {
        out.reply << m_state.statusReport(m_secondsLeft ? m_secondsLeft()
                                                        : m_state.missionSeconds());
    } else if (same(n, "Vexmoor_GetTeams")) {
        out.reply << m_state.teamsReport();
    } else if (same(n, "Vexmoor_GetPlayers")) {
        out.reply << m_state.playersReport();
    } else if (same(n, "Vexmoor_GetPreferences")) {
        out.reply << m_state.preferencesReport();
    } else if (same(n, "echo")) {
        // Printed on the server's console, so every logged-in console sees it (this is how
        // operators' chat lines reach each other).
        out.broadcast << s.args.join(QString());
    } else if (same(n, "Net::Kick")) {
        bool ok = false;
        const int id = arg(0).toInt(&ok);
        if (ok && m_state.player(id))
            event(formatReport({QStringLiteral("D"), QString::number(id)}));
    } else if (same(n, "processMenuPickTeam")) {
        bool okId = false, okTeam = false;
        const int id = arg(0).toInt(&okId);
        int team = arg(1).toInt(&okTeam);
        const Player *p = okId ? m_state.player(id) : nullptr;
        if (!p || !okTeam || team < -2 || team >= m_state.teamCount()) return;
        if (team == -1) team = m_state.autoTeamFor(id);
        if (team != p->team)
            event(formatReport({QStringLiteral("A"), QString::number(id), QString::number(team)}));
    } else if (same(n, "BanList::add")) {
        m_state.addBan(arg(0), arg(1));
    } else if (same(n, "Server::LoadMission")) {
        if (arg(0).isEmpty())
            out.reply << QStringLiteral("Server::LoadMission: no mission name.");
        else
            event(missionStart(arg(0)));
    } else if (same(n, "Server::NextMission")) {
        event(missionStart(m_state.nextMission()));
    } else if (same(n, "ListPlayers")) {
        for (const Player &p : m_state.players())
            out.reply << QStringLiteral("%1  %2  team %3  score %4  %5")
                             .arg(p.id)
                             .arg(p.name)
                             .arg(p.team)
                             .arg(p.score)
                             .arg(p.address);
        out.reply << QStringLiteral("%1 player(s).").arg(m_state.playerCount());
    } else if (same(n, "MessageAll") || same(n, "CenterPrintAll") || same(n, "TopPrintAll") ||
               same(n, "BottomPrintAll") || same(n, "Client::SendMessage") ||
               same(n, "CenterPrint") || same(n, "TopPrint") || same(n, "BottomPrint")) {
        // Reaches the players' screens only; the console prints nothing.
    } else {
        out.reply << QStringLiteral("Unknown command: %1").arg(n);
    }
}

} // namespace sim
