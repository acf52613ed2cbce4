// The web's admin actions: each is composed by the code behind the window's buttons and
// fields (AdminCommands, Preferences, Missions), bound to a stand-in of the profile that
// answers the boxes with what the browser sent and notes every command on its way to the
// console.

#include "app/headless/webactions.h"

#include "app/core/profilelist.h"
#include "platform/dialogs.h"
#include "web/actions.h"

#include <QJsonArray>

namespace {

constexpr int MaxTextLength = 500;

// The profile as a web action sees it: the console is the profile's, the boxes are answered
// from a list (an empty answer keeps the pre-filled text; no answer left is Cancel) and
// every question is answered Yes, the browser having asked it.
class Stand : public Profile, public platform::Dialogs {
public:
    explicit Stand(TVexmoorServer &p) : m_p(p) {}
    QStringList sent;
    QList<std::optional<QString>> answers;

    void SendCommand(const QString &text) override {
        sent.append(text);
        m_p.SendCommand(text);
    }
    bool isConnected() const override { return m_p.isConnected(); }
    bool activeMode() const override { return m_p.activeMode(); }
    QString section() const override { return m_p.section(); }
    // Only a preferences object's constructor looks here, to remove a restore file: the
    // stand-in's is a name that holds none.
    QString directory() const override {
        return m_p.directory() + QStringLiteral("/.web-action-none");
    }
    platform::SettingsStore &settings() override { return m_p.settings(); }
    platform::Dialogs &dialogs() override { return *this; }

    void message(Icon, const QString &) override {}
    bool confirm(const QString &) override { return true; }
    bool inputQuery(const QString &, const QString &, QString &text) override {
        if (answers.isEmpty()) return false;
        const std::optional<QString> a = answers.takeFirst();
        if (a) text = *a;
        return true;
    }

private:
    TVexmoorServer &m_p;
};

web::ActionResult refused(int status, const QString &error) {
    web::ActionResult r;
    r.status = status;
    r.error = error;
    return r;
}

// A line of text for a command: no control characters (a line feed would end the command).
std::optional<QString> lineText(const QJsonValue &v, bool allowLineFeeds = false) {
    if (!v.isString()) return std::nullopt;
    const QString s = v.toString();
    if (s.size() > MaxTextLength) return std::nullopt;
    for (QChar c : s)
        if ((c.unicode() < 32 &&
             !(allowLineFeeds && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))) ||
            c.unicode() == 127)
            return std::nullopt;
    return s;
}

std::optional<int> wholeNumber(const QJsonValue &v, int min, int max) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != double(qint64(d)) || d < min || d > max) return std::nullopt;
    return int(d);
}

class ProfileActions : public web::ActionTarget {
public:
    explicit ProfileActions(ProfileList &profiles) : m_profiles(profiles) {}

    QStringList addresses() const override {
        QStringList list;
        for (int i = 0; i < m_profiles.count(); ++i)
            list.append(m_profiles.at(i)->section());
        return list;
    }

    QString directory(const QString &address) const override {
        TVexmoorServer *p = find(address);
        return p ? p->directory() : QString();
    }

    QHash<int, QString> playerAddresses(const QString &address) const override {
        QHash<int, QString> list;
        if (const TVexmoorServer *p = find(address))
            for (const PlayerSlot *s : p->roster().ConnectedPlayers)
                list.insert(s->ClientId, s->Address);
        return list;
    }

    web::ActionResult perform(const QString &address, const QJsonObject &q) override {
        TVexmoorServer *p = find(address);
        if (!p) return refused(404, QStringLiteral("no such server"));
        const QString action = q.value(QStringLiteral("action")).toString();
        Stand stand(*p);
        web::ActionResult r = run(*p, stand, action, q);
        if (r.status == 200) {
            r.commands = stand.sent;
            if (r.commands.isEmpty() && r.error.isEmpty() && action != QLatin1String("mission"))
                return refused(409, QStringLiteral("nothing was sent"));
        }
        return r;
    }

private:
    TVexmoorServer *find(const QString &address) const {
        for (int i = 0; i < m_profiles.count(); ++i)
            if (m_profiles.at(i)->section() == address) return m_profiles.at(i);
        return nullptr;
    }

    // The listed players the request names ("client" or "clients"); false when one is not
    // listed.
    static bool clientsOf(const TVexmoorServer &p, const QJsonObject &q, QList<int> &clients) {
        QJsonArray ids = q.value(QStringLiteral("clients")).toArray();
        if (q.contains(QStringLiteral("client"))) ids.append(q.value(QStringLiteral("client")));
        if (ids.size() > 128) return false;
        for (const QJsonValue &v : ids) {
            const std::optional<int> id = wholeNumber(v, 2049, 2176);
            if (!id) return false;
            const PlayerSlot *slot = p.roster().slot(*id);
            if (!slot || !p.roster().ConnectedPlayers.contains(slot)) return false;
            if (!clients.contains(*id)) clients.append(*id);
        }
        return true;
    }

    static web::ActionResult run(TVexmoorServer &p, Stand &stand, const QString &action,
                                 const QJsonObject &q) {
        const bool connected = p.isConnected();
        if (!connected && action != QLatin1String("mission"))
            return refused(409, QStringLiteral("the server is not connected"));
        AdminCommands commands(stand, p.roster());
        QList<int> clients;
        if (!clientsOf(p, q, clients))
            return refused(404, QStringLiteral("client must be the client id of a listed player"));
        const auto text = [&](const char *key) { return lineText(q.value(QLatin1String(key))); };

        static const QHash<QString, admin::ClientMessageKind> prints = {
            {QStringLiteral("message"), admin::SendMessage},
            {QStringLiteral("centerPrint"), admin::CenterPrint},
            {QStringLiteral("topPrint"), admin::TopPrint},
            {QStringLiteral("bottomPrint"), admin::BottomPrint}};
        if (const auto kind = prints.constFind(action); kind != prints.cend()) {
            const std::optional<QString> t = text("message");
            if (!t) return refused(400, QStringLiteral("message must be one line of text"));
            stand.answers = {*t};
            if (!clients.isEmpty()) {
                commands.ClientMessage(*kind, clients);
            } else if (*kind == admin::SendMessage) {
                commands.MessageAll();
            } else if (*kind == admin::CenterPrint) {
                commands.CenterPrintAll();
            } else if (*kind == admin::TopPrint) {
                commands.TopPrintAll();
            } else {
                commands.BottomPrintAll();
            }
            return {};
        }
        if (action == QLatin1String("kick") || action == QLatin1String("ban") ||
            action == QLatin1String("changeTeam")) {
            if (clients.isEmpty()) return refused(400, QStringLiteral("no client given"));
        }
        if (action == QLatin1String("kick")) {
            const std::optional<QString> t = q.contains(QStringLiteral("message"))
                                                 ? text("message")
                                                 : std::optional<QString>(QString());
            if (!t) return refused(400, QStringLiteral("message must be one line of text"));
            stand.answers = {*t};
            commands.KickClients(clients);
            return {};
        }
        if (action == QLatin1String("ban")) {
            const std::optional<int> time =
                wholeNumber(q.value(QStringLiteral("time")), 0, 10 * 365 * 86400);
            if (!time) return refused(400, QStringLiteral("time must be a number of seconds"));
            stand.answers = {QString::number(*time)};
            const bool masked = q.contains(QStringLiteral("mask"));
            const std::optional<QString> mask = masked ? text("mask") : std::nullopt;
            if (masked && (!mask || mask->isEmpty()))
                return refused(400, QStringLiteral("mask must be one line of text"));
            for (qsizetype i = 0; i < clients.size(); ++i)
                stand.answers.append(mask); // none: the player's address, as the box offers
            commands.BanClients(clients);
            return {};
        }
        if (action == QLatin1String("changeTeam")) {
            const std::optional<int> team = wholeNumber(q.value(QStringLiteral("team")), -2, 7);
            if (!team) return refused(400, QStringLiteral("team must be -2, -1 or a team number"));
            stand.answers = {QString::number(*team)};
            commands.TeamChange(clients);
            return {};
        }
        if (action == QLatin1String("balanceTeams")) {
            QList<int> listed;
            for (const PlayerSlot *s : p.roster().ConnectedPlayers)
                listed.append(s->ClientId);
            commands.BalanceTeams(listed);
            return {};
        }
        if (action == QLatin1String("nextMission") || action == QLatin1String("execMission") ||
            action == QLatin1String("mission"))
            return mission(p, stand, action, q);
        if (action == QLatin1String("variable")) return variable(p, stand, q);
        return refused(400, QStringLiteral("unknown action ") + action.left(32));
    }

    static web::ActionResult mission(TVexmoorServer &p, Stand &stand, const QString &action,
                                     const QJsonObject &q) {
        Missions missions(stand, p.Context.MissionSortColumn);
        if (action == QLatin1String("nextMission")) {
            missions.NextMission();
            return {};
        }
        TMission *m = p.missions().FindMission(q.value(QStringLiteral("mission")).toString());
        if (!m) return refused(404, QStringLiteral("no such mission in the rotation"));
        missions.Rows = {m}; // the row the button acts on; the records stay the profile's
        if (action == QLatin1String("execMission")) {
            missions.ExecMission(0);
        } else {
            const QJsonValue enabled = q.value(QStringLiteral("enabled"));
            if (!enabled.isBool())
                return refused(400, QStringLiteral("enabled must be true or false"));
            if (m->Enabled != enabled.toBool()) missions.ToggleEnabled(0);
        }
        missions.Rows.clear();
        return {};
    }

    static web::ActionResult variable(TVexmoorServer &p, Stand &stand, const QJsonObject &q) {
        const QString name = q.value(QStringLiteral("name")).toString();
        const QJsonValue value = q.value(QStringLiteral("value"));
        Preferences prefs(stand, p.missions());
        prefs.Vars = p.prefs().Vars;
        prefs.HostNameChanged = p.prefs().HostNameChanged;
        ServerVariables &v = prefs.Vars;
        web::ActionResult r;

        using NumberExit = void (Preferences::*)(int, int);
        struct Number {
            const char *name;
            NumberExit exit;
            int ServerVariables::*cached;
            int min, max;
        };
        static const Number numbers[] = {
            {"MaxPlayers", &Preferences::MaxPlayersExit, &ServerVariables::MaxPlayers, 0, 128},
            {"TimeLimit", &Preferences::TimeLimitExit, &ServerVariables::TimeLimit, 0, 100000},
            {"WarmupTime", &Preferences::WarmupTimeExit, &ServerVariables::WarmupTime, 0, 100000},
            {"MinVotes", &Preferences::MinVotesExit, &ServerVariables::MinVotes, 0, 1000},
            {"VotingTime", &Preferences::VotingTimeExit, &ServerVariables::VotingTime, 0, 100000},
            {"MinVotesPct", &Preferences::MinVotesPctExit, &ServerVariables::MinVotesPct, 0, 100},
            {"VoteWinMargin", &Preferences::VoteWinMarginExit, &ServerVariables::VoteWinMargin, 0,
             100},
            {"TeamDmgScale", &Preferences::TeamDmgScaleExit, &ServerVariables::TeamDmgScale, 0,
             100},
        };
        struct Box {
            const char *name;
            PrefCheckBox box;
        };
        static const Box boxes[] = {{"AutoAssignTeams", PrefCheckBox::AutoAssignTeams},
                                    {"TourneyMode", PrefCheckBox::TourneyMode},
                                    {"BlockAdmin", PrefCheckBox::BlockAdmin},
                                    {"BlockGameType", PrefCheckBox::BlockGameType},
                                    {"BlockTeamDmg", PrefCheckBox::BlockTeamDmg},
                                    {"BlockMission", PrefCheckBox::BlockMission}};
        bool known = false;
        for (const Number &n : numbers) {
            if (name != QLatin1String(n.name)) continue;
            known = true;
            const std::optional<int> x = wholeNumber(value, n.min, n.max);
            if (!x)
                return refused(
                    400,
                    QStringLiteral("%1 is a number from %2 to %3").arg(name).arg(n.min).arg(n.max));
            (prefs.*n.exit)(*x, v.*n.cached);
        }
        for (const Box &b : boxes) {
            if (name != QLatin1String(b.name)) continue;
            known = true;
            if (!value.isBool()) return refused(400, name + QStringLiteral(" is true or false"));
            prefs.CheckBoxClick(b.box, value.toBool(), true); // a click of the operator
        }
        const bool memo = name == QLatin1String("HostInfo") || name == QLatin1String("JoinMOTD");
        if (name == QLatin1String("HostName") || name == QLatin1String("ClientPassword") || memo) {
            known = true;
            const std::optional<QString> t = lineText(value, memo);
            // The host name and the join password go into their command as they are: a
            // double quote or backslash would end the string and start another statement.
            if (!t || (!memo && (t->contains(QLatin1Char('"')) || t->contains(QLatin1Char('\\')))))
                return refused(400, name + QStringLiteral(" must be text without control "
                                                          "characters, quotes or backslashes"));
            if (name == QLatin1String("HostName")) {
                prefs.HostNameExit(*t, v.HostName);
            } else if (name == QLatin1String("ClientPassword")) {
                prefs.ClientPasswordExit(*t, v.ClientPassword);
                r.secret = true;
            } else if (name == QLatin1String("HostInfo")) {
                prefs.HostInfoExit(*t);
            } else {
                prefs.JoinMOTDExit(*t);
            }
        }
        if (!known) return refused(400, QStringLiteral("unknown server variable ") + name.left(32));
        p.prefs().Vars = v;
        if (stand.sent.isEmpty()) r.error = QStringLiteral("unchanged");
        return r;
    }

    ProfileList &m_profiles;
};

} // namespace

std::unique_ptr<web::ActionTarget> makeProfileActions(ProfileList &profiles) {
    return std::make_unique<ProfileActions>(profiles);
}
