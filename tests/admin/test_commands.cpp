// The admin commands of the Server page: the exact console lines, the input boxes they ask,
// the team range rule and the connection checks.
#include "admin/commands.h"
#include "game/roster.h"
#include "support/fakeprofile.h"

#include <deque>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

using namespace testing_support;

namespace {

// One input box as it was shown.
struct Query {
    QString caption, prompt, initial;
    bool operator==(const Query &) const = default;
};
void PrintTo(const Query &q, std::ostream *os) {
    *os << '{' << q.caption.toStdString() << " | " << q.prompt.toStdString() << " | "
        << q.initial.toStdString() << '}';
}

// Answers input boxes from a queue (an empty queue cancels) and records every box.
class QueryDialogs : public platform::Dialogs {
public:
    void message(Icon, const QString &text) override { messages.append(text); }
    bool confirm(const QString &) override { return false; }
    bool inputQuery(const QString &caption, const QString &prompt, QString &text) override {
        queries.append({caption, prompt, text});
        if (answers.empty()) return false;
        const std::optional<QString> answer = answers.front();
        answers.pop_front();
        if (!answer) return false;
        text = *answer;
        return true;
    }
    void answer(const QString &text) { answers.push_back(text); }
    void cancel() { answers.push_back(std::nullopt); }

    QList<Query> queries;
    QStringList messages;
    std::deque<std::optional<QString>> answers;
};

constexpr int Kim = 2049, Lee = 2050, Max = 2051, Ann = 2052, Bo = 2053;

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        profile.boxes = &dialogs;
        Roster &r = roster;
        r.DefineTeam(QStringLiteral("Blood Eagle"), 0, 0);
        r.DefineTeam(QStringLiteral("Diamond Sword"), 1, 0);
        r.AddPlayer(QStringLiteral("Kim"), QStringLiteral("IP:10.0.0.1:1234"), Kim, 0, 0, 0);
        r.AddPlayer(QStringLiteral("Lee"), QStringLiteral("IP:10.0.0.2:1234"), Lee, 1, 0, 1);
        r.AddPlayer(QStringLiteral("Max"), QStringLiteral("IP:10.0.0.3:1234"), Max, -1, 0, 1);
        r.AddPlayer(QStringLiteral("Ann"), QStringLiteral("IP:10.0.0.4:1234"), Ann, -2, 0, 0);
        r.AddPlayer(QStringLiteral("Bo"), QStringLiteral("IP:10.0.0.5:1234"), Bo, 1, 0, 1);
    }

    QStringList sent() { return profile.take(); }

    FakeProfile profile;
    QueryDialogs dialogs;
    int sortKey = 1;
    Roster roster{sortKey};
    AdminCommands commands{profile, roster};
};

const QString Prompt = QStringLiteral("Message to send");

TEST_F(CommandTest, CommandsForEverybody) {
    commands.ListPlayers();
    dialogs.answer(QStringLiteral("Hello all"));
    commands.MessageAll();
    dialogs.answer(QStringLiteral("Centre"));
    commands.CenterPrintAll();
    dialogs.answer(QStringLiteral("Top"));
    commands.TopPrintAll();
    dialogs.answer(QStringLiteral(""));
    commands.BottomPrintAll();
    EXPECT_EQ(sent(), (QStringList{"ListPlayers(); //VX", "MessageAll(0,\"Hello all\"); //VX",
                                   "CenterPrintAll(\"Centre\"); //VX", "TopPrintAll(\"Top\"); //VX",
                                   "BottomPrintAll(\"\"); //VX"}));
    EXPECT_EQ(dialogs.queries, (QList<Query>{{"MessageAll", Prompt, ""},
                                             {"CenterPrintAll", Prompt, ""},
                                             {"TopPrintAll", Prompt, ""},
                                             {"BottomPrintAll", Prompt, ""}}));
}

TEST_F(CommandTest, CancelSendsNothing) {
    dialogs.cancel();
    commands.MessageAll();
    dialogs.cancel();
    commands.KickClients({Kim});
    dialogs.cancel();
    commands.BanClients({Kim});
    dialogs.cancel();
    commands.TeamChange({Kim});
    dialogs.cancel();
    commands.ClientMessage(admin::TopPrint, {Kim});
    EXPECT_EQ(dialogs.queries.size(), 5);
    EXPECT_TRUE(sent().isEmpty());
}

// Typed text never ends its literal early: backslash and double quote are escaped in the
// message, print, kick and ban-mask literals alike.
TEST_F(CommandTest, QuotesAndBackslashesAreEscapedInEveryLiteral) {
    const QString hostile = QStringLiteral("a\"); Net::Kick(2050,\"x\\");
    const QString literal = QStringLiteral("\"a\\\"); Net::Kick(2050,\\\"x\\\\\"");
    dialogs.answer(hostile);
    commands.MessageAll();
    dialogs.answer(hostile);
    commands.ClientMessage(admin::CenterPrint, {Kim});
    dialogs.answer(hostile);
    commands.KickClients({Kim});
    dialogs.answer(QStringLiteral("60"));
    dialogs.answer(hostile);
    commands.BanClients({Kim});
    EXPECT_EQ(sent(), (QStringList{"MessageAll(0," + literal + "); //VX",
                                   "CenterPrint (2049," + literal + "); //VX",
                                   "Net::Kick(2049," + literal + "); //VX",
                                   "BanList::add(" + literal + ",60); //VX"}));
}

TEST_F(CommandTest, ClientMessagesGoToEachSelectedPlayerWithOneText) {
    const char *captions[] = {"Message Client(s)", "CenterPrint Client(s)", "TopPrint Client(s)",
                              "BottomPrint Client(s)"};
    for (int kind = 0; kind < 4; ++kind) {
        dialogs.answer(QStringLiteral("msg%1").arg(kind));
        commands.ClientMessage(admin::ClientMessageKind(kind), {Lee, Kim});
        EXPECT_EQ(dialogs.queries.back(), (Query{captions[kind], Prompt, ""}));
    }
    EXPECT_EQ(
        sent(),
        (QStringList{"Client::SendMessage(2050,0,\"msg0\"); //VX",
                     "Client::SendMessage(2049,0,\"msg0\"); //VX",
                     "CenterPrint (2050,\"msg1\"); //VX", "CenterPrint (2049,\"msg1\"); //VX",
                     "TopPrint (2050,\"msg2\"); //VX", "TopPrint (2049,\"msg2\"); //VX",
                     "BottomPrint (2050,\"msg3\"); //VX", "BottomPrint (2049,\"msg3\"); //VX"}));
}

TEST_F(CommandTest, KickEverySelectedPlayer) {
    dialogs.answer(QStringLiteral("Bye"));
    commands.KickClients({Max, Ann});
    EXPECT_EQ(dialogs.queries, (QList<Query>{{"Kick Message", Prompt, ""}}));
    EXPECT_EQ(sent(),
              (QStringList{"Net::Kick(2051,\"Bye\"); //VX", "Net::Kick(2052,\"Bye\"); //VX"}));
}

TEST_F(CommandTest, BanAsksTheDurationOnceAndTheMaskPerPlayer) {
    dialogs.answer(QStringLiteral("600"));
    dialogs.cancel(); // Kim's mask: Kim is skipped
    dialogs.answer(QStringLiteral("IP:10.0.0.*"));
    commands.BanClients({Kim, Lee});
    EXPECT_EQ(dialogs.queries,
              (QList<Query>{{"Ban Duration", "Please enter the ban duration in seconds.", ""},
                            {"Ban Kim", "Please enter the ban mask", "IP:10.0.0.1:1234"},
                            {"Ban Lee", "Please enter the ban mask", "IP:10.0.0.2:1234"}}));
    EXPECT_EQ(sent(), QStringList{"BanList::add(\"IP:10.0.0.*\",600); //VX"});
}

TEST_F(CommandTest, BanDurationIsSentAsTyped) {
    dialogs.answer(QStringLiteral(""));
    dialogs.answer(QStringLiteral("IP:10.0.0.3:1234"));
    commands.BanClients({Max});
    dialogs.answer(QStringLiteral("forever"));
    dialogs.answer(QStringLiteral("x"));
    commands.BanClients({Max});
    EXPECT_EQ(sent(), (QStringList{"BanList::add(\"IP:10.0.0.3:1234\",); //VX",
                                   "BanList::add(\"x\",forever); //VX"}));
}

TEST_F(CommandTest, TeamChangeSkipsPlayersAlreadyOnTheTeam) {
    dialogs.answer(QStringLiteral("0"));
    commands.TeamChange({Kim, Lee, Max});
    EXPECT_EQ(dialogs.queries,
              (QList<Query>{{"Change Team", "-2=observer, -1=automatic, 0..1=team#.", ""}}));
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2050,0,2048); //VX",
                                   "processMenuPickTeam(2051,0,2048); //VX"}));
}

TEST_F(CommandTest, TeamChangeToObserverAndAutomatic) {
    dialogs.answer(QStringLiteral("-2"));
    commands.TeamChange({Kim, Ann});
    dialogs.answer(QStringLiteral(" -1"));
    commands.TeamChange({Kim, Max});
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2049,-2,2048); //VX",
                                   "processMenuPickTeam(2049,-1,2048); //VX"}));
}

TEST_F(CommandTest, TeamChangeRejectsNumbersOutsideTheRangeSilently) {
    for (const char *answer : {"2", "-3", "abc", "", "1.0", "0x1", "1 "}) {
        dialogs.answer(QString::fromLatin1(answer));
        commands.TeamChange({Max});
    }
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST(TeamChangePrompt, FollowsTheNumberOfTeamRows) {
    EXPECT_EQ(admin::teamChangePrompt(2), QStringLiteral("-2=observer, -1=automatic, 0..1=team#."));
    EXPECT_EQ(admin::teamChangePrompt(1), QStringLiteral("-2=observer, -1=automatic, 0..0=team#."));
}

TEST_F(CommandTest, WithOneTeamOnlyZeroAndTheSpecialTeamsAreAccepted) {
    roster.ResetTeams();
    roster.DefineTeam(QStringLiteral("Solo"), 0, 0);
    for (const char *answer : {"1", "0", "-2"}) {
        dialogs.answer(QString::fromLatin1(answer));
        commands.TeamChange({Lee});
    }
    EXPECT_EQ(dialogs.queries[0].prompt, QStringLiteral("-2=observer, -1=automatic, 0..0=team#."));
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2050,0,2048); //VX",
                                   "processMenuPickTeam(2050,-2,2048); //VX"}));
}

TEST_F(CommandTest, WithNoTeamOnlyObserverAndAutomaticAreAccepted) {
    roster.ResetTeams();
    for (const char *answer : {"0", "-1", "-2"}) {
        dialogs.answer(QString::fromLatin1(answer));
        commands.TeamChange({Lee});
    }
    EXPECT_EQ(dialogs.queries[0].prompt, QStringLiteral("-2=observer, -1=automatic, 0..-1=team#."));
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2050,-1,2048); //VX",
                                   "processMenuPickTeam(2050,-2,2048); //VX"}));
}

TEST_F(CommandTest, BalanceMovesEveryListedPlayerWithoutAsking) {
    commands.BalanceTeams({Bo, Ann, Max, Lee, Kim});
    EXPECT_TRUE(dialogs.queries.isEmpty());
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2053,-1,2048); //VX",
                                   "processMenuPickTeam(2052,-1,2048); //VX",
                                   "processMenuPickTeam(2051,-1,2048); //VX",
                                   "processMenuPickTeam(2050,-1,2048); //VX",
                                   "processMenuPickTeam(2049,-1,2048); //VX",
                                   "CenterPrintAll(\"<jc> *** Auto-Balanced Teams ***\"); //VX"}));
}

TEST_F(CommandTest, DropOnTheTeamList) {
    commands.TeamListDrop({Kim, Lee, Bo}, 1);
    commands.TeamListDrop({Kim, Max}, -1);
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2049,1,2048); //VX",
                                   "processMenuPickTeam(2049,-1,2048); //VX"}));
}

TEST_F(CommandTest, NothingWithoutASelectionOrForIdsOutsideTheSlots) {
    commands.KickClients({});
    commands.TeamChange({});
    commands.ClientMessage(admin::SendMessage, {});
    commands.BanClients({});
    EXPECT_TRUE(dialogs.queries.isEmpty());
    dialogs.answer(QStringLiteral("x"));
    commands.KickClients({2048, 2177, Kim});
    EXPECT_EQ(sent(), QStringList{"Net::Kick(2049,\"x\"); //VX"});
}

TEST_F(CommandTest, NoConnectionAsksNothingAndSendsNothing) {
    profile.connected = false;
    commands.ListPlayers();
    commands.MessageAll();
    commands.CenterPrintAll();
    commands.ClientMessage(admin::CenterPrint, {Kim});
    commands.KickClients({Kim});
    commands.BanClients({Kim});
    commands.TeamChange({Kim});
    commands.BalanceTeams({Kim});
    // The connection is checked before any box is shown; a drop needs none and sends nothing.
    commands.TeamListDrop({Kim}, 1);
    EXPECT_TRUE(dialogs.queries.isEmpty());
    profile.connected = true;
    EXPECT_TRUE(sent().isEmpty());
}

} // namespace
