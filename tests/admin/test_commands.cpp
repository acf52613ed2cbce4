// The admin commands of the Server page: the exact console lines, the input boxes they ask,
// the team range rule and the connection checks.
#include "admin/commands.h"
#include "missions/loopback.h"
#include "support/testsupport.h"

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
        // Connecting empties the roster, so the players come after.
        ASSERT_TRUE(console.connect(*p));
        console.take(*p);
        Roster &r = p->roster;
        r.DefineTeam(QStringLiteral("Blood Eagle"), 0, 0);
        r.DefineTeam(QStringLiteral("Diamond Sword"), 1, 0);
        r.AddPlayer(QStringLiteral("Kim"), QStringLiteral("IP:10.0.0.1:1234"), Kim, 0, 0, 0);
        r.AddPlayer(QStringLiteral("Lee"), QStringLiteral("IP:10.0.0.2:1234"), Lee, 1, 0, 1);
        r.AddPlayer(QStringLiteral("Max"), QStringLiteral("IP:10.0.0.3:1234"), Max, -1, 0, 1);
        r.AddPlayer(QStringLiteral("Ann"), QStringLiteral("IP:10.0.0.4:1234"), Ann, -2, 0, 0);
        r.AddPlayer(QStringLiteral("Bo"), QStringLiteral("IP:10.0.0.5:1234"), Bo, 1, 0, 1);
    }
    void TearDown() override { p.reset(); }

    QStringList sent() { return console.sent(*p); }

    TempEnv env;
    QueryDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    LoopbackConsole console;
    std::unique_ptr<TVexmoorServer> p = std::make_unique<TVexmoorServer>(
        QStringLiteral("secret"), QStringLiteral("127.0.0.1"), console.port(), context);
};

const QString Prompt = QStringLiteral("Message to send");

TEST_F(CommandTest, CommandsForEverybody) {
    admin::ListPlayers(p.get());
    dialogs.answer(QStringLiteral("Hello all"));
    admin::MessageAll(p.get());
    dialogs.answer(QStringLiteral("Centre"));
    admin::CenterPrintAll(p.get());
    dialogs.answer(QStringLiteral("Top"));
    admin::TopPrintAll(p.get());
    dialogs.answer(QStringLiteral(""));
    admin::BottomPrintAll(p.get());
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
    admin::MessageAll(p.get());
    dialogs.cancel();
    admin::KickClients(p.get(), {Kim});
    dialogs.cancel();
    admin::BanClients(p.get(), {Kim});
    dialogs.cancel();
    admin::TeamChange(p.get(), {Kim});
    dialogs.cancel();
    admin::ClientMessage(p.get(), admin::TopPrint, {Kim});
    EXPECT_EQ(dialogs.queries.size(), 5);
    EXPECT_TRUE(sent().isEmpty());
}

// Typed text never ends its literal early: backslash and double quote are escaped in the
// message, print, kick and ban-mask literals alike.
TEST_F(CommandTest, QuotesAndBackslashesAreEscapedInEveryLiteral) {
    const QString hostile = QStringLiteral("a\"); Net::Kick(2050,\"x\\");
    const QString literal = QStringLiteral("\"a\\\"); Net::Kick(2050,\\\"x\\\\\"");
    dialogs.answer(hostile);
    admin::MessageAll(p.get());
    dialogs.answer(hostile);
    admin::ClientMessage(p.get(), admin::CenterPrint, {Kim});
    dialogs.answer(hostile);
    admin::KickClients(p.get(), {Kim});
    dialogs.answer(QStringLiteral("60"));
    dialogs.answer(hostile);
    admin::BanClients(p.get(), {Kim});
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
        admin::ClientMessage(p.get(), admin::ClientMessageKind(kind), {Lee, Kim});
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
    admin::KickClients(p.get(), {Max, Ann});
    EXPECT_EQ(dialogs.queries, (QList<Query>{{"Kick Message", Prompt, ""}}));
    EXPECT_EQ(sent(),
              (QStringList{"Net::Kick(2051,\"Bye\"); //VX", "Net::Kick(2052,\"Bye\"); //VX"}));
}

TEST_F(CommandTest, BanAsksTheDurationOnceAndTheMaskPerPlayer) {
    dialogs.answer(QStringLiteral("600"));
    dialogs.cancel(); // Kim's mask: Kim is skipped
    dialogs.answer(QStringLiteral("IP:10.0.0.*"));
    admin::BanClients(p.get(), {Kim, Lee});
    EXPECT_EQ(dialogs.queries,
              (QList<Query>{{"Ban Duration", "Please enter the ban duration in seconds.", ""},
                            {"Ban Kim", "Please enter the ban mask", "IP:10.0.0.1:1234"},
                            {"Ban Lee", "Please enter the ban mask", "IP:10.0.0.2:1234"}}));
    EXPECT_EQ(sent(), QStringList{"BanList::add(\"IP:10.0.0.*\",600); //VX"});
}

TEST_F(CommandTest, BanDurationIsSentAsTyped) {
    dialogs.answer(QStringLiteral(""));
    dialogs.answer(QStringLiteral("IP:10.0.0.3:1234"));
    admin::BanClients(p.get(), {Max});
    dialogs.answer(QStringLiteral("forever"));
    dialogs.answer(QStringLiteral("x"));
    admin::BanClients(p.get(), {Max});
    EXPECT_EQ(sent(), (QStringList{"BanList::add(\"IP:10.0.0.3:1234\",); //VX",
                                   "BanList::add(\"x\",forever); //VX"}));
}

TEST_F(CommandTest, TeamChangeSkipsPlayersAlreadyOnTheTeam) {
    dialogs.answer(QStringLiteral("0"));
    admin::TeamChange(p.get(), {Kim, Lee, Max});
    EXPECT_EQ(dialogs.queries,
              (QList<Query>{{"Change Team", "-2=observer, -1=automatic, 0..1=team#.", ""}}));
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2050,0,2048); //VX",
                                   "processMenuPickTeam(2051,0,2048); //VX"}));
}

TEST_F(CommandTest, TeamChangeToObserverAndAutomatic) {
    dialogs.answer(QStringLiteral("-2"));
    admin::TeamChange(p.get(), {Kim, Ann});
    dialogs.answer(QStringLiteral(" -1"));
    admin::TeamChange(p.get(), {Kim, Max});
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2049,-2,2048); //VX",
                                   "processMenuPickTeam(2049,-1,2048); //VX"}));
}

TEST_F(CommandTest, TeamChangeRejectsNumbersOutsideTheRangeSilently) {
    for (const char *answer : {"2", "-3", "abc", "", "1.0", "0x1", "1 "}) {
        dialogs.answer(QString::fromLatin1(answer));
        admin::TeamChange(p.get(), {Max});
    }
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST(TeamChangePrompt, FollowsTheNumberOfTeamRows) {
    EXPECT_EQ(admin::teamChangePrompt(2), QStringLiteral("-2=observer, -1=automatic, 0..1=team#."));
    EXPECT_EQ(admin::teamChangePrompt(1), QStringLiteral("-2=observer, -1=automatic, 0..0=team#."));
}

TEST_F(CommandTest, WithOneTeamOnlyZeroAndTheSpecialTeamsAreAccepted) {
    p->roster.ResetTeams();
    p->roster.DefineTeam(QStringLiteral("Solo"), 0, 0);
    for (const char *answer : {"1", "0", "-2"}) {
        dialogs.answer(QString::fromLatin1(answer));
        admin::TeamChange(p.get(), {Lee});
    }
    EXPECT_EQ(dialogs.queries[0].prompt, QStringLiteral("-2=observer, -1=automatic, 0..0=team#."));
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2050,0,2048); //VX",
                                   "processMenuPickTeam(2050,-2,2048); //VX"}));
}

TEST_F(CommandTest, WithNoTeamOnlyObserverAndAutomaticAreAccepted) {
    p->roster.ResetTeams();
    for (const char *answer : {"0", "-1", "-2"}) {
        dialogs.answer(QString::fromLatin1(answer));
        admin::TeamChange(p.get(), {Lee});
    }
    EXPECT_EQ(dialogs.queries[0].prompt, QStringLiteral("-2=observer, -1=automatic, 0..-1=team#."));
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2050,-1,2048); //VX",
                                   "processMenuPickTeam(2050,-2,2048); //VX"}));
}

TEST_F(CommandTest, BalanceMovesEveryListedPlayerWithoutAsking) {
    admin::BalanceTeams(p.get(), {Bo, Ann, Max, Lee, Kim});
    EXPECT_TRUE(dialogs.queries.isEmpty());
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2053,-1,2048); //VX",
                                   "processMenuPickTeam(2052,-1,2048); //VX",
                                   "processMenuPickTeam(2051,-1,2048); //VX",
                                   "processMenuPickTeam(2050,-1,2048); //VX",
                                   "processMenuPickTeam(2049,-1,2048); //VX",
                                   "CenterPrintAll(\"<jc> *** Auto-Balanced Teams ***\"); //VX"}));
}

TEST_F(CommandTest, DropOnTheTeamList) {
    admin::TeamListDrop(p.get(), {Kim, Lee, Bo}, 1);
    admin::TeamListDrop(p.get(), {Kim, Max}, -1);
    EXPECT_EQ(sent(), (QStringList{"processMenuPickTeam(2049,1,2048); //VX",
                                   "processMenuPickTeam(2049,-1,2048); //VX"}));
    admin::TeamListDrop(nullptr, {Kim}, 0);
}

TEST_F(CommandTest, NothingWithoutASelectionOrForIdsOutsideTheSlots) {
    admin::KickClients(p.get(), {});
    admin::TeamChange(p.get(), {});
    admin::ClientMessage(p.get(), admin::SendMessage, {});
    admin::BanClients(p.get(), {});
    EXPECT_TRUE(dialogs.queries.isEmpty());
    dialogs.answer(QStringLiteral("x"));
    admin::KickClients(p.get(), {2048, 2177, Kim});
    EXPECT_EQ(sent(), QStringList{"Net::Kick(2049,\"x\"); //VX"});
}

TEST_F(CommandTest, NoProfileOrNoConnectionAsksNothingAndSendsNothing) {
    admin::ListPlayers(nullptr);
    admin::MessageAll(nullptr);
    admin::BalanceTeams(nullptr, {Kim});
    admin::KickClients(nullptr, {Kim});
    p->ToggleConnection(); // closes
    ASSERT_FALSE(p->isConnected());
    admin::ListPlayers(p.get());
    admin::MessageAll(p.get());
    admin::CenterPrintAll(p.get());
    admin::ClientMessage(p.get(), admin::CenterPrint, {Kim});
    admin::KickClients(p.get(), {Kim});
    admin::BanClients(p.get(), {Kim});
    admin::TeamChange(p.get(), {Kim});
    admin::BalanceTeams(p.get(), {Kim});
    // The connection is checked before any box is shown.
    EXPECT_TRUE(dialogs.queries.isEmpty());
}

} // namespace
