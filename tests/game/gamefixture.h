#pragma once

// A displayed profile fed with report lines, a view that records what the roster shows, a
// fixed clock, and the sentences the handlers write.

#include "game/events.h"
#include "game/roster.h"
#include "platform/datetime.h"
#include "support/testsupport.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <map>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

namespace game_testing {

struct Sentence {
    QString shown;
    QString spoken;
    int category = -1;
};

// Records the roster operations of the view, in order, with the slot or team named.
class RosterRecordingView : public testing_support::RecordingView {
public:
    void addPlayerRow(PlayerSlot &slot) override {
        rows.append(&slot);
        calls.append(QStringLiteral("addPlayer ") + slot.Name);
    }
    void removePlayerRow(const PlayerSlot &slot) override {
        rows.removeAll(&slot);
        calls.append(QStringLiteral("removePlayer ") + QString::number(slot.ClientId));
    }
    void redrawPlayerRow(const PlayerSlot &slot) override {
        calls.append(QStringLiteral("redrawPlayer ") + slot.Name);
    }
    void repaintPlayerList() override { calls.append(QStringLiteral("repaintPlayers")); }
    void sortPlayerList(int key) override {
        calls.append(QStringLiteral("sort ") + QString::number(key));
    }
    void clearPlayerList() override {
        rows.clear();
        calls.append(QStringLiteral("clearPlayers"));
    }
    void addTeamRow(TeamSlot &team) override {
        teamRows.append(&team);
        calls.append(QStringLiteral("addTeam ") + team.Name);
    }
    void redrawTeamRow(const TeamSlot &team) override {
        calls.append(QStringLiteral("redrawTeam ") + team.Name);
    }
    void repaintTeamList() override { calls.append(QStringLiteral("repaintTeams")); }
    void clearTeamList() override {
        teamRows.clear();
        calls.append(QStringLiteral("clearTeams"));
    }
    void showActivityFigures(const ActivityFigureTexts &texts) override {
        figures = texts;
        ++figureUpdates;
    }
    void setChartPoint(int, int, double) override { ++chartUpdates; }
    void showPreferences(const PreferencesPage &page) override {
        ++preferencePages;
        shownTourneyMode = page.TourneyMode;
        shownTeamDamage = page.TeamDmgScale;
    }

    int count(const QString &call) const { return static_cast<int>(calls.count(call)); }

    QList<PlayerSlot *> rows;
    QList<TeamSlot *> teamRows;
    QStringList calls;
    ActivityFigureTexts figures;
    int figureUpdates = 0;
    int chartUpdates = 0;
    int preferencePages = 0;
    bool shownTourneyMode = false;
    int shownTeamDamage = -1;
};

// 2024-03-06 (a Wednesday) 21:07:45 in days since 1899-12-30.
inline platform::DateTime at(int hour, int minute, int second) {
    return 45357.0 + (hour * 3600 + minute * 60 + second) / platform::SecondsPerDay;
}

class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setClockForTesting([this] { return clock; });
        p().events().SentenceObserver = [this](const QString &shown, const QString &spoken,
                                               int category) {
            sentences.push_back({shown, spoken, category});
        };
        p().AttachView(&view);
        view.calls.clear();
    }
    void TearDown() override {
        p().DetachView();
        platform::setClockForTesting({});
    }

    TVexmoorServer &p() { return *fx.profile; }
    Roster &roster() { return p().roster(); }
    Activity &figures() { return p().activity(); }
    PlayerSlot &slot(int id) { return *roster().slot(id); }

    // One report line as the console prints it: each field followed by a double quote.
    void report(const QStringList &fields) {
        p().ClassifyLine(QLatin1Char('"') + fields.join(QLatin1Char('"')) + QLatin1Char('"'));
    }
    void connect(int id, const QString &name, const QString &gender = QStringLiteral("Male")) {
        report(
            {QStringLiteral("C"), QString::number(id), name, QStringLiteral("10.0.0.1:1"), gender});
    }
    void team(int number, const QString &name, int score = 0) {
        report({QStringLiteral("2"), QString::number(number), QString::number(score), name});
    }
    // The last sentence written; fails the test when there is none.
    Sentence last() {
        EXPECT_FALSE(sentences.empty());
        return sentences.empty() ? Sentence{} : sentences.back();
    }

    testing_support::ProfileFixture fx;
    RosterRecordingView view;
    std::vector<Sentence> sentences;
    platform::DateTime clock = at(21, 7, 45);
};

} // namespace game_testing
