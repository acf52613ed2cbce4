// The Preferences page as an operator uses it (offscreen): every server control sends exactly
// its command when the operator changes it and nothing otherwise, the preference files go
// through the file choosers, the program's own settings, and the colour panels.
#include "app/core/settings.h"
#include "app/gui/colorpanel.h"
#include "app/gui/mainwindow.h"
#include "simserver.h"
#include "support/guitestsupport.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace testing_support;

void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The window over one stored profile, showing its Preferences page.
struct PreferencesPage {
    explicit PreferencesPage(const QString &section = QStringLiteral("10.0.0.1:28001"))
        : section(section) {
        env.settings->write(section, QStringLiteral("Password"), QStringLiteral("secret"));
        // Passive mode: a mission start makes the profile send nothing by itself.
        env.settings->write(section, QStringLiteral("ActiveMode"), QStringLiteral("0"));
        window = std::make_unique<TVexmoor>(*env.settings);
        window->dialogs().setAnswers(&answers);
        window->findChild<QTabWidget *>(QStringLiteral("Pages"))->setCurrentIndex(5);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename T = QWidget> T *control(const char *name) const {
        return child<T>(*window, name);
    }
    // The operator enters a field, changes it (or not) and leaves it for the Port field.
    void edit(const char *name, const std::function<void(QWidget *)> &change) const {
        QWidget *w = control(name);
        w->setFocus(Qt::TabFocusReason);
        EXPECT_TRUE(w->hasFocus()) << name;
        if (change) change(w);
        control("Display_HostPort")->setFocus(Qt::TabFocusReason);
    }
    // Replaces the text of a field by typing.
    void type(const char *name, const QString &text) const {
        edit(name, [&](QWidget *w) {
            QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(w, Qt::Key_Delete);
            QTest::keyClicks(w, text);
        });
    }
    void key(const char *name, Qt::Key key) const {
        edit(name, [&](QWidget *w) { QTest::keyClick(w, key); });
    }

    QString section;
    TempEnv env;
    FakeDialogs answers;
    std::unique_ptr<TVexmoor> window;
};

// One operator action on the page and the exact lines the server receives for it.
struct Case {
    const char *what;
    std::function<void(PreferencesPage &, sim::SimServer &)> act;
    QStringList expected;
};

TEST(PreferencesTab, EachControlSendsExactlyItsCommandOnlyOnAnOperatorsChange) {
    sim::SimServer server;
    ASSERT_TRUE(server.listen());
    PreferencesPage page(QStringLiteral("127.0.0.1:") + QString::number(server.port()));
    page.control<QToolButton>("Button_Connect")->click();
    // The session's preferences report fills the page (and sends nothing back).
    ASSERT_TRUE(waitFor([&] {
        return page.control<QLineEdit>("Display_HostName")->text() ==
                   QStringLiteral("Vexmoor Test Server") &&
               page.control<QSpinBox>("Display_MinVotesPct")->value() == 50;
    }));
    EXPECT_TRUE(page.control<QCheckBox>("Display_AutoAssignTeams")->isChecked());
    const QString vxp = page.env.path() + QStringLiteral("/game.vxp");
    {
        QFile f(vxp);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("$Server::MaxPlayers=24;\r\n$Server::TimeLimit=30;\r\n");
    }

    const auto click = [](const char *name) {
        return [name](PreferencesPage &p, sim::SimServer &) {
            QTest::mouseClick(p.control(name), Qt::LeftButton);
        };
    };
    const auto typeInto = [](const char *name, const char *text) {
        return [name, text](PreferencesPage &p, sim::SimServer &) {
            p.type(name, QString::fromUtf8(text));
        };
    };
    const auto keyInto = [](const char *name, Qt::Key key) {
        return [name, key](PreferencesPage &p, sim::SimServer &) { p.key(name, key); };
    };
    const auto passThrough = [](const char *name) {
        return [name](PreferencesPage &p, sim::SimServer &) { p.edit(name, nullptr); };
    };

    const Case cases[] = {
        // Fields that act only on a changed value: entering and leaving sends nothing.
        {"HostName unchanged", passThrough("Display_HostName"), {}},
        {"HostName",
         typeInto("Display_HostName", "Night \"Games\""),
         {"$Server::HostName = \"Night \\\"Games\\\"\"; //VX"}}, // escaped inside its literal
        {"Password unchanged", passThrough("Display_ClientPassword"), {}},
        {"Password",
         typeInto("Display_ClientPassword", "pw1"),
         {"$Server::Password = \"pw1\"; //VX"}},
        {"MaxPlayers unchanged", passThrough("Display_MaxPlayers"), {}},
        {"MaxPlayers", typeInto("Display_MaxPlayers", "20"), {"$Server::MaxPlayers = 20; //VX"}},
        {"TimeLimit", typeInto("Display_TimeLimit", "30"), {"$Server::TimeLimit = 30; //VX"}},
        {"WarmupTime", typeInto("Display_WarmupTime", "0"), {"$Server::WarmupTime = 0; //VX"}},
        {"MinVotes", typeInto("Display_MinVotes", "3"), {"$Server::MinVotes = 3; //VX"}},
        {"VotingTime", typeInto("Display_VotingTime", "45"), {"$Server::VotingTime = 45; //VX"}},
        {"VotingTime unchanged", passThrough("Display_VotingTime"), {}},
        // The percent fields step by 5 and send fractions.
        {"MinVotesPct down a step",
         keyInto("Display_MinVotesPct", Qt::Key_Down),
         {"$Server::MinVotesPct = 0.45; //VX"}},
        {"MinVotesPct",
         typeInto("Display_MinVotesPct", "5"),
         {"$Server::MinVotesPct = 0.05; //VX"}},
        {"VoteWinMargin",
         typeInto("Display_VoteWinMargin", "100"),
         {"$Server::VoteWinMargin = 1; //VX"}},
        {"VoteWinMargin above its limit", keyInto("Display_VoteWinMargin", Qt::Key_Up), {}},
        {"TeamDmgScale up a step",
         keyInto("Display_TeamDmgScale", Qt::Key_Up),
         {"$Server::TeamDamageScale = 0.05; //VX",
          "messageAll(0, \"Team damage ENABLED by admin.\"); //VX"}},
        {"TeamDmgScale off",
         typeInto("Display_TeamDmgScale", "0"),
         {"$Server::TeamDamageScale = 0; //VX",
          "messageAll(0, \"Team damage DISABLED by admin.\"); //VX"}},
        {"TeamDmgScale unchanged", passThrough("Display_TeamDmgScale"), {}},
        // The two memos send their whole text, escaped, on every exit.
        {"Info",
         [](PreferencesPage &p, sim::SimServer &) {
             p.edit("Display_HostInfo", [](QWidget *w) {
                 QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
                 QTest::keyClicks(w, QStringLiteral("Say \"hi\""));
                 QTest::keyClick(w, Qt::Key_Return);
                 QTest::keyClicks(w, QStringLiteral("C:\\games"));
             });
         },
         {"$Server::Info = \"Say 'hi'\\nC:\\\\games\"; //VX"}},
        {"Info unchanged",
         passThrough("Display_HostInfo"),
         {"$Server::Info = \"Say 'hi'\\nC:\\\\games\"; //VX"}},
        {"JoinMOTD",
         typeInto("Display_JoinMOTD", "Welcome"),
         {"$Server::JoinMOTD = \"Welcome\"; //VX"}},
        // Check boxes send after the operator's mouse click only.
        {"AutoAssignTeams",
         click("Display_AutoAssignTeams"),
         {"$Server::AutoAssignTeams = 0; //VX"}},
        {"TourneyMode",
         click("Display_TourneyMode"),
         {"messageAll(0, \"Server switched to Tournament Mode.\"); //VX",
          "$Server::TourneyMode = 1; //VX", "Server::NextMission(); //VX"}},
        {"TourneyMode off",
         click("Display_TourneyMode"),
         {"messageAll(0, \"Server switched to Free-For-All Mode.\"); //VX",
          "$Server::TourneyMode = 0; //VX", "Server::NextMission(); //VX"}},
        {"BlockAdmin", click("Display_BlockAdmin"), {"$Vexmoor::BlockADM = 1; //VX"}},
        {"BlockTeamDmg", click("Display_BlockTeamDmg"), {"$Vexmoor::BlockTD = 1; //VX"}},
        {"BlockMission", click("Display_BlockMission"), {"$Vexmoor::BlockMIS = 1; //VX"}},
        {"BlockGameType", click("Display_BlockGameType"), {"$Vexmoor::BlockGT = 1; //VX"}},
        {"BlockGameType by keyboard",
         [](PreferencesPage &p, sim::SimServer &) {
             auto *box = p.control<QCheckBox>("Display_BlockGameType");
             box->setFocus(Qt::TabFocusReason);
             QTest::keyClick(box, Qt::Key_Space);
             EXPECT_FALSE(box->isChecked());
             EXPECT_FALSE(p.window->CurrentServer->prefs().Vars.BlockGameType);
         },
         {}},
        // The server's own changes fill the page and send nothing back.
        {"a report changes every box",
         [](PreferencesPage &p, sim::SimServer &s) {
             s.setVariable(QStringLiteral("$Vexmoor::BlockADM"), QStringLiteral("0"));
             s.setVariable(QStringLiteral("$Vexmoor::BlockGT"), QStringLiteral("1"));
             s.setVariable(QStringLiteral("$Server::AutoAssignTeams"), QStringLiteral("true"));
             s.setVariable(QStringLiteral("$Server::TourneyMode"), QStringLiteral("true"));
             s.setVariable(QStringLiteral("$Server::MaxPlayers"), QStringLiteral("12"));
             p.control<QPushButton>("Button_Refresh")->click();
             EXPECT_TRUE(waitFor([&] {
                 return p.control<QSpinBox>("Display_MaxPlayers")->value() == 12 &&
                        p.control<QCheckBox>("Display_TourneyMode")->isChecked() &&
                        p.control<QCheckBox>("Display_BlockGameType")->isChecked() &&
                        !p.control<QCheckBox>("Display_BlockAdmin")->isChecked();
             }));
         },
         {"Vexmoor_GetPreferences(); //VX"}},
        // A preference file goes to the server line by line, then the page asks again.
        {"Load",
         [vxp](PreferencesPage &p, sim::SimServer &) {
             p.answers.fileAnswers.push_back({true, vxp});
             p.control<QPushButton>("Button_LoadPreferences")->click();
             EXPECT_EQ(p.answers.choosers.last(), QStringLiteral("Vexmoor Game Preferences|*.vxp"));
         },
         {"$Server::MaxPlayers=24; //VX", "$Server::TimeLimit=30; //VX",
          "Vexmoor_GetPreferences(); //VX"}},
        {"Load cancelled", click("Button_LoadPreferences"), {}},
    };

    // Each case ends with a marker line; what arrived since the previous marker is the case's.
    qsizetype from = server.receivedCommands().size();
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.act(page, server);
        const QString marker = QStringLiteral("echo(\"case %1\"); //VX").arg(++n);
        page.window->CurrentServer->SendCommand(marker + QLatin1Char('\n'));
        ASSERT_TRUE(waitFor([&] { return server.receivedCommands().contains(marker); }));
        const QStringList all = server.receivedCommands();
        const qsizetype at = all.indexOf(marker);
        EXPECT_EQ(all.mid(from, at - from), c.expected);
        from = at + 1;
    }
    // The page's values live in the profile's cache.
    const ServerVariables &vars = page.window->CurrentServer->prefs().Vars;
    EXPECT_EQ(vars.TeamDmgScale, 0);
    EXPECT_EQ(vars.VoteWinMargin, 100);
    EXPECT_EQ(vars.JoinMOTD, QStringLiteral("Welcome"));
}

TEST(PreferencesTab, SaveWritesTheShownPreferencesThroughTheChooser) {
    sim::SimServer server;
    ASSERT_TRUE(server.listen());
    PreferencesPage page(QStringLiteral("127.0.0.1:") + QString::number(server.port()));
    auto *save = page.control<QPushButton>("Button_SavePreferences");
    EXPECT_FALSE(save->isEnabled()); // offline
    page.control<QToolButton>("Button_Connect")->click();
    ASSERT_TRUE(waitFor([&] {
        return save->isEnabled() && page.window->CurrentServer->prefs().Reported &&
               page.control<QLineEdit>("Display_HostName")->text() ==
                   QStringLiteral("Vexmoor Test Server");
    }));
    const QString file = page.env.path() + QStringLiteral("/saved.vxp");
    page.answers.fileAnswers.push_back({true, file});
    save->click();
    EXPECT_EQ(page.answers.choosers, QStringList{"Vexmoor Game Preferences|*.vxp"});
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 20); // 19 lines, each ended
    EXPECT_EQ(lines.at(0), QStringLiteral("$Server::HostName=\"Vexmoor Test Server\";"));
    EXPECT_EQ(lines.at(9), QStringLiteral("$Server::MinVotesPct=0.50;"));
    EXPECT_EQ(lines.at(18), QStringLiteral("$Vexmoor::BlockMIS=0;"));
}

TEST(PreferencesTab, MissionsPathScriptAndMuteAreTheProgramsOwnSettings) {
    PreferencesPage page;
    TVexmoorServer *profile = page.window->CurrentServer;
    auto *missionList = page.control<QTreeWidget>("Display_MissionList");
    const auto makeMissions = [&](const QString &dir, QStringList names) {
        QDir().mkpath(dir);
        for (const QString &name : names) {
            QFile f(dir + QLatin1Char('/') + name + QStringLiteral(".dsc"));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("$MDESC::Type = \"Capture the Flag\";\n");
        }
    };
    const QString first = page.env.path() + QStringLiteral("/first");
    const QString second = page.env.path() + QStringLiteral("/second");
    makeMissions(first, {QStringLiteral("Alpha"), QStringLiteral("Beta")});
    makeMissions(second, {QStringLiteral("Gamma")});

    // A typed path loses one trailing backslash, is stored and scanned at once.
    page.type("Display_MissionsPath", first + QStringLiteral("\\"));
    EXPECT_EQ(page.control<QLineEdit>("Display_MissionsPath")->text(), first);
    EXPECT_EQ(page.env.settings->read(page.section, QStringLiteral("MissionsPath")), first);
    EXPECT_EQ(missionList->topLevelItemCount(), 2);

    // The folder button: cancelled, nothing changes; chosen, the folder is taken.
    page.control<QToolButton>("Button_MissionsPath")->click();
    EXPECT_EQ(page.answers.choosers, QStringList{"Missions Path Directory"});
    EXPECT_EQ(profile->missions().MissionsPath, first);
    page.answers.fileAnswers.push_back({true, second});
    page.control<QToolButton>("Button_MissionsPath")->click();
    EXPECT_EQ(page.control<QLineEdit>("Display_MissionsPath")->text(), second);
    EXPECT_EQ(page.env.settings->read(page.section, QStringLiteral("MissionsPath")), second);
    ASSERT_EQ(missionList->topLevelItemCount(), 1);
    EXPECT_EQ(missionList->topLevelItem(0)->text(0), QStringLiteral("Gamma"));

    // The script file is stored when the field is left.
    page.type("Display_VexmoorScript", QStringLiteral("vexmoor.cs"));
    EXPECT_EQ(profile->ScriptFile, QStringLiteral("vexmoor.cs"));
    EXPECT_EQ(page.env.settings->read(page.section, QStringLiteral("VexmoorScript")),
              QStringLiteral("vexmoor.cs"));

    // "Mute Vexmoor Codes" keeps report lines out of the console and is stored.
    auto *mute = page.control<QCheckBox>("Display_MuteCodes");
    EXPECT_EQ(mute->text(), QStringLiteral("Mute Vexmoor Codes"));
    auto *console = page.control<QTextEdit>("Console");
    profile->ClassifyLine(QStringLiteral("\"X\"shown\""));
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_EQ(page.env.settings->read(GlobalSection, QStringLiteral("MuteCodes")),
              QStringLiteral("1"));
    profile->ClassifyLine(QStringLiteral("\"X\"hidden\""));
    QCoreApplication::processEvents(); // the console takes its lines in the next turn
    EXPECT_TRUE(console->toPlainText().contains(QStringLiteral("shown")));
    EXPECT_FALSE(console->toPlainText().contains(QStringLiteral("hidden")));
}

TEST(PreferencesTab, ColourPanelsStoreTheirKeysAndRecolourTheViews) {
    PreferencesPage page;
    const char *const panels[][2] = {
        {"Color_Background", "Background"}, {"Color_GeneralText", "GeneralText"},
        {"Color_TribesText", "TribesText"}, {"Color_StatText", "StatText"},
        {"Color_GlobalMsg", "GlobalMsg"},   {"Color_UnknownMsg", "UnknownMsg"},
        {"Color_Team0", "Team0"},           {"Color_Team1", "Team1"},
        {"Color_Team2", "Team2"},           {"Color_Team3", "Team3"},
    };
    // The stored defaults show on the panels.
    EXPECT_EQ(page.control<ColorPanel>("Color_TribesText")->color(), QColor(128, 128, 128));
    EXPECT_EQ(page.control<ColorPanel>("Color_Team2")->color(), QColor(255, 128, 0));

    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(panels[i][0]);
        const quint32 word = 0x102030u + quint32(i); // blue 0x10, green 0x20, red 0x30 + i
        page.answers.colorAnswers.push_back({true, word});
        QTest::mouseClick(page.control(panels[i][0]), Qt::LeftButton);
        EXPECT_EQ(page.env.settings->read(GlobalSection, QString::fromLatin1(panels[i][1])),
                  QString::number(word));
        EXPECT_EQ(page.control<ColorPanel>(panels[i][0])->color(), QColor(0x30 + i, 0x20, 0x10));
    }
    // A cancelled chooser keeps the colour and still stores it.
    page.env.settings->write(GlobalSection, QStringLiteral("Team3"), QStringLiteral("7"));
    QTest::mouseClick(page.control("Color_Team3"), Qt::LeftButton);
    EXPECT_EQ(page.env.settings->read(GlobalSection, QStringLiteral("Team3")),
              QString::number(0x102039));
    EXPECT_EQ(page.answers.choosers.size(), 11);

    // The mission list takes the background and general text; console lines added from now
    // on take the console colours.
    auto *missionList = page.control<QTreeWidget>("Display_MissionList");
    EXPECT_EQ(missionList->palette().color(QPalette::Base), QColor(0x30, 0x20, 0x10));
    EXPECT_EQ(missionList->palette().color(QPalette::Text), QColor(0x31, 0x20, 0x10));
    auto *console = page.control<QTextEdit>("Console");
    const auto lastLineColour = [&] {
        QCoreApplication::processEvents(); // the console takes its lines in the next turn
        return console->document()
            ->lastBlock()
            .begin()
            .fragment()
            .charFormat()
            .foreground()
            .color();
    };
    page.window->CurrentServer->ClassifyLine(QStringLiteral("plain server output"));
    EXPECT_EQ(lastLineColour(), QColor(0x32, 0x20, 0x10));
    page.window->CurrentServer->ClassifyLine(QStringLiteral("\"X\"report\""));
    EXPECT_EQ(lastLineColour(), QColor(0x33, 0x20, 0x10));

    // The next run starts with the stored colours.
    page.window.reset();
    TVexmoor next(*page.env.settings);
    EXPECT_EQ(next.findChild<ColorPanel *>(QStringLiteral("Color_Team0"))->color(),
              QColor(0x36, 0x20, 0x10));
}

// With VEXMOOR_SHOTS naming a directory, writes the page with demo data to preferences.png
// there (for the README); otherwise skipped.
TEST(PreferencesTab, Screenshot) {
    const QString shots = qEnvironmentVariable("VEXMOOR_SHOTS");
    if (shots.isEmpty()) GTEST_SKIP() << "VEXMOOR_SHOTS not set";
    sim::SimServer server;
    ASSERT_TRUE(server.listen());
    server.setVariable(QStringLiteral("$Server::Info"),
                       QStringLiteral("Vexmoor demo server\nCapture the flag on every map"));
    server.setVariable(QStringLiteral("$Server::JoinMOTD"),
                       QStringLiteral("Welcome to the demo!\nPlay fair, have fun."));
    server.setVariable(QStringLiteral("$Server::TeamDamageScale"), QStringLiteral("0.25"));
    server.setVariable(QStringLiteral("$Vexmoor::BlockADM"), QStringLiteral("1"));
    PreferencesPage page(QStringLiteral("127.0.0.1:") + QString::number(server.port()));
    page.type("Display_MissionsPath", QStringLiteral("/srv/game/base/missions"));
    page.type("Display_VexmoorScript", QStringLiteral("vexmoor.cs"));
    page.control<QToolButton>("Button_Connect")->click();
    ASSERT_TRUE(waitFor([&] {
        return page.control<QLineEdit>("Display_HostName")->text() ==
               QStringLiteral("Vexmoor Test Server");
    }));
    page.control("Display_HostName")->setFocus();
    EXPECT_TRUE(page.window->grab().save(shots + QStringLiteral("/preferences.png")));
}
} // namespace
