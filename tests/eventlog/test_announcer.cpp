// Speech announcements: the engine list, the stored engine, speed, the category switches and
// the priority rule, through a fake speech engine.
#include "eventlog/announcer.h"
#include "fakespeech.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace testing_support;
using namespace eventlog_testing;

namespace {

const QString Global = QStringLiteral("Vexmoor");

class AnnouncerTest : public ::testing::Test {
protected:
    // Starts the announcer as the window does: engine, then the stored settings.
    FakeSpeechEngine &start(QStringList names = {QStringLiteral("Mary"), QStringLiteral("Mike")}) {
        auto engine = std::make_unique<FakeSpeechEngine>(std::move(names));
        FakeSpeechEngine &e = *engine;
        speech.InitTTS(std::move(engine));
        speech.ReadSpeechPrefs();
        return e;
    }
    // Started with engine 1 picked and its greeting finished.
    FakeSpeechEngine &ready() {
        FakeSpeechEngine &e = start();
        speech.TTSModeChange(1);
        e.finish();
        e.spoken.clear();
        e.calls.clear();
        return e;
    }

    TempEnv env;
    FakeDialogs dialogs;
    Announcer speech{*env.settings, dialogs};
};

TEST(SpeechRateTest, NormalSpeedIsTheNormalRateAndTheRateNeverFalls) {
    EXPECT_DOUBLE_EQ(speechRate(175), 0.0);
    double previous = speechRate(-1000);
    EXPECT_DOUBLE_EQ(previous, -1.0);
    for (int speed = -995; speed <= 2000; speed += 5) {
        const double rate = speechRate(speed);
        EXPECT_GE(rate, previous) << speed;
        EXPECT_GE(rate, -1.0) << speed;
        EXPECT_LE(rate, 1.0) << speed;
        // Between half and double the normal speed every step of the field is heard.
        if (speed > 90 && speed <= 350) {
            EXPECT_GT(rate, previous) << speed;
        }
        previous = rate;
    }
    EXPECT_LT(speechRate(170), 0.0);
    EXPECT_GT(speechRate(180), 0.0);
    EXPECT_DOUBLE_EQ(speechRate(350), 1.0);
    EXPECT_DOUBLE_EQ(speechRate(0), -1.0);
    EXPECT_DOUBLE_EQ(speechRate(100000), 1.0);
}

TEST_F(AnnouncerTest, WithoutAnEngineOnlyNoneIsListedAndNothingHappens) {
    speech.InitTTS(nullptr);
    speech.ReadSpeechPrefs();
    EXPECT_FALSE(speech.hasEngine());
    EXPECT_EQ(speech.voiceList(), QStringList{QStringLiteral("None")});
    speech.TTSModeChange(1); // no such item
    EXPECT_EQ(speech.voiceIndex(), 0);
    speech.TTSSpeedChange(200);
    speech.Announce(QStringLiteral("kim killed bob"), KillsSuicides);
    EXPECT_EQ(speech.speed(), 200);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(AnnouncerTest, InitListsTheEnginesAfterNoneAndSetsTheStartSpeed) {
    FakeSpeechEngine &e = start();
    EXPECT_EQ(speech.voiceList(), (QStringList{"None", "Mary", "Mike"}));
    EXPECT_EQ(speech.voiceIndex(), 0);
    EXPECT_EQ(e.speed, 175);
    EXPECT_TRUE(e.spoken.isEmpty());
    EXPECT_TRUE(e.calls.isEmpty()); // nothing selected without a stored engine
    speech.TTSSpeedChange(220);
    EXPECT_EQ(e.speed, 220);
    EXPECT_EQ(speech.speed(), 220);
}

TEST_F(AnnouncerTest, StoredEngineIsRestoredRegardlessOfCaseAndAnnouncedOnce) {
    env.settings->write(Global, QStringLiteral("SAPIEngine"), QStringLiteral("mIKE"));
    FakeSpeechEngine &e = start();
    EXPECT_EQ(e.selected, 2);
    EXPECT_EQ(speech.voiceIndex(), 2);
    EXPECT_EQ(e.spoken, QStringList{QStringLiteral("Mike initialized.")});
}

TEST_F(AnnouncerTest, UnknownOrEmptyStoredEngineLeavesNone) {
    for (const char *stored : {"Victor", "", "None"}) {
        env.settings->write(Global, QStringLiteral("SAPIEngine"), QString::fromLatin1(stored));
        Announcer other{*env.settings, dialogs};
        auto engine = std::make_unique<FakeSpeechEngine>();
        FakeSpeechEngine &e = *engine;
        other.InitTTS(std::move(engine));
        other.ReadSpeechPrefs();
        EXPECT_EQ(other.voiceIndex(), 0) << stored;
        EXPECT_EQ(e.selected, 0) << stored;
        EXPECT_TRUE(e.spoken.isEmpty()) << stored;
    }
}

TEST_F(AnnouncerTest, PickingAnEngineSelectsAnnouncesAndStoresIt) {
    FakeSpeechEngine &e = start();
    speech.TTSModeChange(1);
    EXPECT_EQ(e.selected, 1);
    EXPECT_EQ(e.spoken, QStringList{QStringLiteral("Mary initialized.")});
    EXPECT_EQ(env.settings->read(Global, QStringLiteral("SAPIEngine")), QStringLiteral("Mary"));
    // "None" silences but keeps the stored engine for the next start.
    speech.TTSModeChange(0);
    EXPECT_EQ(speech.voiceIndex(), 0);
    EXPECT_EQ(env.settings->read(Global, QStringLiteral("SAPIEngine")), QStringLiteral("Mary"));
    // An index beyond the list changes nothing.
    speech.TTSModeChange(3);
    EXPECT_EQ(speech.voiceIndex(), 0);
}

TEST_F(AnnouncerTest, AnEngineThatRefusesIsNotStored) {
    FakeSpeechEngine &e = start();
    e.refuseSelect = true;
    speech.TTSModeChange(2);
    EXPECT_TRUE(e.spoken.isEmpty());
    EXPECT_TRUE(env.settings->read(Global, QStringLiteral("SAPIEngine")).isEmpty());
}

TEST_F(AnnouncerTest, EngineFailuresAreReportedInAnErrorBox) {
    FakeSpeechEngine &e = start();
    ASSERT_TRUE(e.onError);
    e.onError(QStringLiteral("audio device lost"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].first, platform::Dialogs::Icon::Error);
    EXPECT_EQ(dialogs.messages[0].second, QStringLiteral("audio device lost"));
}

// No working audio: every announcement fails, but only the first failure opens a box (the
// box runs the event loop, so the others would pile up on it). Speech that works again, or
// a new voice or speed, lets the next failure be shown.
TEST_F(AnnouncerTest, AFailingEngineIsReportedOnceUntilSpeechWorksOrTheOperatorChangesIt) {
    FakeSpeechEngine &e = ready();
    const auto failEvery = [&](int n) {
        for (int i = 0; i < n; ++i) {
            speech.Announce(QStringLiteral("event"), 0);
            e.onError(QStringLiteral("no audio"));
            e.finish();
        }
    };
    failEvery(20);
    EXPECT_EQ(dialogs.messages.size(), 1);
    speech.Announce(QStringLiteral("works"), 0);
    e.finish(); // spoken to its end
    failEvery(5);
    EXPECT_EQ(dialogs.messages.size(), 2);
    speech.TTSSpeedChange(200);
    failEvery(3);
    EXPECT_EQ(dialogs.messages.size(), 3);
    speech.TTSModeChange(2);
    e.onError(QStringLiteral("no audio"));
    EXPECT_EQ(dialogs.messages.size(), 4);
    for (const auto &m : dialogs.messages)
        EXPECT_EQ(m.second, QStringLiteral("no audio"));
}

TEST_F(AnnouncerTest, NothingIsSpokenWithNoneSelected) {
    FakeSpeechEngine &e = start();
    for (int c = 0; c < Announcer::CategoryCount; ++c)
        speech.Announce(QStringLiteral("event"), c);
    EXPECT_TRUE(e.spoken.isEmpty());
}

TEST_F(AnnouncerTest, HigherPriorityInterruptsEqualAndLowerAreDropped) {
    FakeSpeechEngine &e = ready();
    speech.Announce(QStringLiteral("kim killed bob"), KillsSuicides);
    EXPECT_EQ(speech.SpeakingCategory, KillsSuicides);
    speech.Announce(QStringLiteral("bob captured the flag"), FlagsObjectives);
    EXPECT_EQ(speech.SpeakingCategory, FlagsObjectives);
    EXPECT_EQ(e.calls, (QStringList{"stop", "stop"}));
    // While the capture plays, a second kill and a player message are dropped.
    speech.Announce(QStringLiteral("ann killed kim"), KillsSuicides);
    speech.Announce(QStringLiteral("hello"), PlayerMessages);
    speech.Announce(QStringLiteral("bob grabbed the flag"), FlagsObjectives); // equal: dropped
    EXPECT_EQ(e.spoken, (QStringList{"kim killed bob", "bob captured the flag"}));
    EXPECT_EQ(speech.SpeakingCategory, FlagsObjectives);
}

TEST_F(AnnouncerTest, AnnouncementsOfOneTurnKeepTheirPriorityBeforeTheEngineReportsSpeech) {
    // Several report lines in one read: the engine has not yet reported any speech.
    FakeSpeechEngine &e = ready();
    speech.Announce(QStringLiteral("mission started"), MissionScore);
    speech.Announce(QStringLiteral("kim killed bob"), KillsSuicides);
    speech.Announce(QStringLiteral("the players voted"), Votes);
    EXPECT_EQ(e.spoken, QStringList{QStringLiteral("mission started")});
    QCoreApplication::processEvents();
    ASSERT_TRUE(e.playing);
    speech.Announce(QStringLiteral("ann joined"), ConnectDisconnect);
    e.finish();
    speech.Announce(QStringLiteral("bob grabbed the flag"), FlagsObjectives);
    EXPECT_EQ(e.spoken, (QStringList{"mission started", "bob grabbed the flag"}));
}

TEST_F(AnnouncerTest, AfterSpeechEndsAnyCategoryIsSpoken) {
    FakeSpeechEngine &e = ready();
    speech.Announce(QStringLiteral("mission started"), MissionScore);
    e.finish();
    speech.Announce(QStringLiteral("hello"), PlayerMessages);
    EXPECT_EQ(speech.SpeakingCategory, PlayerMessages);
    e.finish();
    speech.Announce(QStringLiteral("kim joined"), ConnectDisconnect);
    EXPECT_EQ(e.spoken, (QStringList{"mission started", "hello", "kim joined"}));
}

TEST_F(AnnouncerTest, TheGreetingIsNotInterruptedByEvents) {
    FakeSpeechEngine &e = start();
    speech.TTSModeChange(2); // "Mike initialized." plays; SpeakingCategory is still 0
    speech.Announce(QStringLiteral("mission started"), MissionScore);
    EXPECT_EQ(e.spoken, QStringList{QStringLiteral("Mike initialized.")});
}

TEST_F(AnnouncerTest, CategorySwitchesComeFromTheSettingsAndAreStoredWhenClicked) {
    env.settings->write(Global, QStringLiteral("Speech_Kill"), QStringLiteral("0"));
    env.settings->write(Global, QStringLiteral("Speech_Vote"), QString()); // empty reads as on
    start();
    for (int c = 0; c < Announcer::CategoryCount; ++c)
        EXPECT_EQ(speech.categoryOn(c), c != KillsSuicides) << c;
    EXPECT_FALSE(speech.categoryOn(-1));
    EXPECT_FALSE(speech.categoryOn(7));

    speech.SetCategory(PlayerMessages, false);
    speech.SetCategory(KillsSuicides, true);
    speech.SetCategory(9, true); // no such switch: nothing stored
    EXPECT_FALSE(speech.categoryOn(PlayerMessages));
    EXPECT_TRUE(speech.categoryOn(KillsSuicides));
    EXPECT_EQ(env.settings->read(Global, QStringLiteral("Speech_PlayerMsg")), QStringLiteral("0"));
    EXPECT_EQ(env.settings->read(Global, QStringLiteral("Speech_Kill")), QStringLiteral("1"));
    EXPECT_FALSE(speech.categoryOn(9));

    const QStringList keys = {"Speech_MissionScores", "Speech_Vote",           "Speech_Connect",
                              "Speech_TeamAssign",    "Speech_FlagObjectives", "Speech_Kill",
                              "Speech_PlayerMsg"};
    for (int c = 0; c < Announcer::CategoryCount; ++c)
        EXPECT_EQ(Announcer::categoryKey(c), keys[c]);
}

} // namespace
