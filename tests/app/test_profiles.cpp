// Global settings, profile sections and the profile list.
#include "app/core/profilelist.h"
#include "app/core/settings.h"
#include "app/core/stopsignals.h"
#include "platform/paths.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

TEST(ReadPrefs, DefaultsWithoutAFile) {
    TempEnv env;
    const GlobalPrefs p = ReadPrefs(*env.settings);
    EXPECT_FALSE(p.MuteCodes);
    EXPECT_TRUE(p.Nick.isEmpty());
    EXPECT_EQ(p.CommitInterval, 30);
    EXPECT_EQ(p.Colors[0], 16777215u); // white background
    EXPECT_EQ(p.Colors[18], 16744576u);
}

TEST(ReadPrefs, ParsedValuesAndIgnoredGarbage) {
    TempEnv env;
    auto &s = *env.settings;
    s.write(GlobalSection, QStringLiteral("CommitInterval"), QStringLiteral("abc"));
    s.write(GlobalSection, QStringLiteral("Team0"), QStringLiteral("$00FF00"));
    s.write(GlobalSection, QStringLiteral("Background"), QStringLiteral("white"));
    s.write(GlobalSection, QStringLiteral("MuteCodes"), QStringLiteral("1"));
    GlobalPrefs p = ReadPrefs(s);
    EXPECT_EQ(p.CommitInterval, 30);
    EXPECT_EQ(p.Colors[6], 0x00FF00u);
    EXPECT_EQ(p.Colors[0], 16777215u);
    EXPECT_TRUE(p.MuteCodes);
    s.write(GlobalSection, QStringLiteral("CommitInterval"), QStringLiteral("0"));
    EXPECT_EQ(ReadPrefs(s).CommitInterval, 0);
}

TEST(ReadPrefs, TheCommitTimerRunsTheIntervalTheFieldShows) {
    struct Case {
        const char *stored; // nullptr: no setting
        int field;          // what the Interval field shows
        int timerMs;        // 0: no interval commits
    };
    const Case cases[] = {
        {nullptr, 30, 1800000}, {"abc", 30, 1800000}, {"5", 5, 300000}, {"0", 0, 0}, {"-3", -3, 0}};
    for (const Case &c : cases) {
        TempEnv env;
        if (c.stored)
            env.settings->write(GlobalSection, QStringLiteral("CommitInterval"),
                                QString::fromLatin1(c.stored));
        FakeDialogs dialogs;
        ServerContext context{*env.settings, dialogs};
        ProfileList profiles(context);
        const GlobalPrefs p = ReadPrefs(*env.settings);
        profiles.setCommitInterval(p.CommitTimerMinutes);
        EXPECT_EQ(p.CommitInterval, c.field) << (c.stored ? c.stored : "none");
        EXPECT_EQ(profiles.commitTimerInterval(), c.timerMs) << (c.stored ? c.stored : "none");
    }
}

TEST(ReadServers, ProfileSectionsInFileOrder) {
    TempEnv env;
    auto &s = *env.settings;
    s.write(QStringLiteral("b.example:28001"), QStringLiteral("Password"), QStringLiteral("pb"));
    s.write(GlobalSection, QStringLiteral("Nick"), QStringLiteral("op"));
    s.write(QStringLiteral("10.0.0.1:abc"), QStringLiteral("Password"), QStringLiteral("x"));
    s.write(QStringLiteral("notes"), QStringLiteral("Text"), QStringLiteral("x"));
    s.write(QStringLiteral("a:b:28001"), QStringLiteral("Password"), QStringLiteral("x"));
    s.write(QStringLiteral("10.0.0.2:28002"), QStringLiteral("Password"), QStringLiteral("pa"));
    QStringList seen;
    ReadServers(s, [&](const QString &pw, const QString &ip, int port) {
        seen << ip + QLatin1Char('|') + QString::number(port) + QLatin1Char('|') + pw;
    });
    EXPECT_EQ(seen, (QStringList{QStringLiteral("b.example|28001|pb"),
                                 QStringLiteral("10.0.0.2|28002|pa")}));
    // Sections that are not profiles stay untouched.
    EXPECT_TRUE(s.sections().contains(QStringLiteral("notes")));
}

class ProfileListTest : public ::testing::Test {
protected:
    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
};

TEST_F(ProfileListTest, CreationWritesThePasswordAndMakesTheDirectory) {
    ProfileList list(context);
    TVexmoorServer *p = list.ServerAdd(QStringLiteral("pw"), QStringLiteral("10.0.0.1"), 28001);
    EXPECT_EQ(env.settings->read(QStringLiteral("10.0.0.1:28001"), QStringLiteral("Password")),
              QStringLiteral("pw"));
    EXPECT_TRUE(QDir(p->directory()).exists());
    EXPECT_TRUE(p->directory().endsWith(QStringLiteral("/data/vexmoor/10.0.0.1.28001")));
    EXPECT_EQ(ProfileList::listName(*p), QStringLiteral("10.0.0.1:28001"));
    p->prefs().Vars.HostName = QStringLiteral("Big Game");
    EXPECT_EQ(ProfileList::listName(*p), QStringLiteral("Big Game"));
}

TEST_F(ProfileListTest, ProfileKeysAreReadAtCreation) {
    auto &s = *env.settings;
    s.write(QStringLiteral("h:1"), QStringLiteral("ActiveMode"), QStringLiteral("0"));
    s.write(QStringLiteral("h:1"), QStringLiteral("VexmoorScript"), QStringLiteral("vx.cs"));
    ProfileList list(context);
    context.PlayerSortKey = 0;
    TVexmoorServer *p = list.ServerAdd(QString(), QStringLiteral("h"), 1);
    EXPECT_FALSE(p->ActiveMode);
    EXPECT_EQ(p->ScriptFile, QStringLiteral("vx.cs"));
    EXPECT_TRUE(p->stats().TrackKills);
    EXPECT_FALSE(p->stats().StatsEnabled);
    EXPECT_EQ(context.PlayerSortKey, 1); // every creation resets the sort key
    RecordingView view;
    p->AttachView(&view);
    p->ToggleMode();
    EXPECT_TRUE(view.activeMode);
    EXPECT_EQ(s.read(QStringLiteral("h:1"), QStringLiteral("ActiveMode")), QStringLiteral("1"));
}

TEST_F(ProfileListTest, RemoveDeletesDirectoryAndSection) {
    ProfileList list(context);
    TVexmoorServer *p = list.ServerAdd(QStringLiteral("pw"), QStringLiteral("h"), 2);
    QDir(p->directory()).mkpath(QStringLiteral("sub"));
    QFile f(p->directory() + QStringLiteral("/sub/events.log"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString dir = p->directory();
    ASSERT_TRUE(list.remove(0));
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(QDir(dir).exists());
    EXPECT_FALSE(env.settings->sections().contains(QStringLiteral("h:2")));
}

TEST_F(ProfileListTest, ChangeAddressMovesDirectoryAndSettings) {
    ProfileList list(context);
    TVexmoorServer *p = list.ServerAdd(QStringLiteral("pw"), QStringLiteral("old"), 1);
    env.settings->write(p->section(), QStringLiteral("Log"), QStringLiteral("1"));
    const QString oldDir = p->directory();
    p->ChangeAddress(QStringLiteral("new"), 2);
    EXPECT_EQ(p->section(), QStringLiteral("new:2"));
    EXPECT_FALSE(QDir(oldDir).exists());
    EXPECT_TRUE(QDir(p->directory()).exists());
    EXPECT_EQ(env.settings->read(QStringLiteral("new:2"), QStringLiteral("Log")),
              QStringLiteral("1"));
    EXPECT_EQ(env.settings->read(QStringLiteral("new:2"), QStringLiteral("Password")),
              QStringLiteral("pw"));
    EXPECT_FALSE(env.settings->sections().contains(QStringLiteral("old:1")));
}

TEST_F(ProfileListTest, ReadServersRestoresInOrder) {
    env.settings->write(QStringLiteral("a:1"), QStringLiteral("Password"), QStringLiteral("x"));
    env.settings->write(QStringLiteral("b:2"), QStringLiteral("Password"), QStringLiteral("y"));
    ProfileList list(context);
    list.ReadServers();
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(0)->section(), QStringLiteral("a:1"));
    EXPECT_EQ(list.at(1)->Password, QStringLiteral("y"));
}

// SIGTERM, SIGINT and SIGHUP reach the event loop as received() instead of ending the
// process, so the owner writes what the settings store holds back; a store with a write
// delay keeps a coalesced counter only until then.
TEST(StopSignals, EachStopSignalLetsTheOwnerWriteWhatWaits) {
    TempEnv env;
    const QString file = env.settings->fileName();
    env.settings->setWriteDelay(60000);
    StopSignals stop;
    ASSERT_TRUE(stop.active());
    QList<int> seen;
    QObject::connect(&stop, &StopSignals::received, [&](int signal) {
        seen.append(signal);
        env.settings->flush();
    });
    int n = 0;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        env.settings->writeCoalesced(QStringLiteral("h:1"), QStringLiteral("dbID"),
                                     QString::number(++n));
        EXPECT_NE(platform::SettingsStore(file).read(QStringLiteral("h:1"), QStringLiteral("dbID")),
                  QString::number(n));
        ASSERT_EQ(std::raise(signal), 0);
        EXPECT_TRUE(waitFor([&] { return seen.size() == n; })) << signal;
        EXPECT_EQ(seen.value(n - 1), signal);
        EXPECT_EQ(platform::SettingsStore(file).read(QStringLiteral("h:1"), QStringLiteral("dbID")),
                  QString::number(n));
    }
}

// A section whose host would put the profile's directory outside the data directory, or
// could not be written back as the same section, is skipped with a message; the others load.
TEST_F(ProfileListTest, SectionsWithUnsafeHostsAreSkippedWithAMessage) {
    const QStringList unsafe = {QStringLiteral(".."),  QStringLiteral("../../outside"),
                                QStringLiteral("a/b"), QStringLiteral("a\\b"),
                                QStringLiteral("x]y"), QStringLiteral("tab\there")};
    for (const QString &host : unsafe)
        env.settings->write(host + QStringLiteral(":28001"), QStringLiteral("Password"),
                            QStringLiteral("x"));
    env.settings->write(QStringLiteral("10.0.0.1:28001"), QStringLiteral("Password"),
                        QStringLiteral("y"));
    const QStringList before = QDir(env.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ProfileList list(context);
    list.ReadServers();
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.at(0)->section(), QStringLiteral("10.0.0.1:28001"));
    // Every skipped section that the settings file holds is named once.
    int skipped = 0;
    for (const QString &section : env.settings->sections())
        if (section != QStringLiteral("10.0.0.1:28001") &&
            section.endsWith(QStringLiteral(":28001")))
            ++skipped;
    EXPECT_GE(skipped, 4);
    EXPECT_EQ(dialogs.messages.size(), skipped);
    for (const auto &[icon, text] : dialogs.messages) {
        EXPECT_EQ(icon, platform::Dialogs::Icon::Warning);
        EXPECT_TRUE(text.startsWith(QStringLiteral("The settings section ["))) << qPrintable(text);
        EXPECT_FALSE(text.contains(QLatin1Char('\t')));
    }
    // Nothing was made outside the data directory, and only the one profile inside it.
    EXPECT_EQ(QDir(env.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              before + QStringList{QStringLiteral("data")});
    EXPECT_EQ(QDir(platform::dataDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("10.0.0.1.28001")});
}

} // namespace
