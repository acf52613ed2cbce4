// The event log of a profile: entries, events.log, the history bound, the play-by-play
// view and speech of the displayed profile.
#include "eventlog/announcer.h"
#include "eventlog/eventlog.h"
#include "fakespeech.h"
#include "platform/datetime.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace testing_support;
using namespace eventlog_testing;

namespace {

// 2024-03-06 21:07:45 in days since 1899-12-30.
constexpr platform::DateTime EventTime = 45357.0 + (21 * 3600 + 7 * 60 + 45) / 86400.0;

class PlayByPlayView : public RecordingView {
public:
    void fillPlayByPlay(const QStringList &entries) override {
        lines = entries;
        ++fills;
    }
    void PlayByPlay_add(const QString &entry) override {
        if (lines.size() >= 100) lines.removeFirst();
        lines.append(entry);
        ++adds;
    }
    void setLogFileCheck(bool on) override { logCheck = on; }

    QStringList lines;
    int fills = 0;
    int adds = 0;
    bool logCheck = false;
};

class EventLogTest : public ::testing::Test {
protected:
    EventLogTest() {
        platform::setClockForTesting([] { return EventTime; });
        fx.context.Speech = &speech;
        auto engine = std::make_unique<FakeSpeechEngine>();
        voice = engine.get();
        speech.InitTTS(std::move(engine));
        speech.ReadSpeechPrefs();
        speech.TTSModeChange(1);
        voice->finish();
        voice->spoken.clear();
    }
    ~EventLogTest() override {
        if (fx.profile) fx.profile->DetachView();
        platform::setClockForTesting({});
    }

    TVexmoorServer &p() { return *fx.profile; }
    EventLog &log() { return fx.profile->eventLog(); }
    QString logPath() { return p().directory() + QStringLiteral("/events.log"); }
    QByteArray logBytes() {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A new profile object for the same address, as at the next start of the program.
    void recreate() {
        fx.profile.reset();
        fx.profile = std::make_unique<TVexmoorServer>(
            QStringLiteral("secret"), QStringLiteral("127.0.0.1"), 28001, fx.context);
    }
    void enableLogSetting() {
        fx.env.settings->write(p().section(), QStringLiteral("Log"), QStringLiteral("1"));
        recreate();
    }

    ProfileFixture fx;
    FakeDialogs speechDialogs;
    Announcer speech{*fx.env.settings, speechDialogs};
    FakeSpeechEngine *voice = nullptr;
    PlayByPlayView view;
};

// --- entries and the file --------------------------------------------------------------

TEST_F(EventLogTest, EntryIsTimeStampedAndKeptInTheHistory) {
    log().LogEvent(QStringLiteral("Kim grabbed a flag. (5 points)"), QString(), FlagsObjectives);
    EXPECT_EQ(log().EventHistory,
              QStringList{QStringLiteral("[21:07:45] Kim grabbed a flag. (5 points)")});
}

TEST_F(EventLogTest, LogIsOffByDefaultAndWritesNothing) {
    EXPECT_FALSE(log().LogToFile);
    EXPECT_FALSE(log().LogFileReady);
    log().LogEvent(QStringLiteral("Kim joined."), QString(), ConnectDisconnect);
    log().AppendToLogFile(QStringLiteral("[21:07:45] Session started on 03/06/2024"));
    EXPECT_FALSE(QFile::exists(logPath()));
    EXPECT_EQ(log().EventHistory.size(), 1); // the history is kept all the same
}

TEST_F(EventLogTest, StoredLogSettingPreparesTheFileAtCreation) {
    enableLogSetting();
    EXPECT_TRUE(log().LogToFile);
    EXPECT_TRUE(log().LogFileReady);
    ASSERT_TRUE(QFile::exists(logPath()));
    EXPECT_TRUE(logBytes().isEmpty());
}

TEST_F(EventLogTest, EntriesAreAppendedWithCarriageReturnAndLineFeed) {
    enableLogSetting();
    log().LogEvent(QStringLiteral("Kim joined."), QString(), ConnectDisconnect);
    log().LogEvent(QStringLiteral("Zoë killed Bob with the disc launcher."),
                   QStringLiteral("zoë killed bob with the disc launcher."), KillsSuicides);
    EXPECT_EQ(logBytes(), QByteArray("[21:07:45] Kim joined.\r\n"
                                     "[21:07:45] Zo\xEB killed Bob with the disc launcher.\r\n"));
    // The file is kept across runs: a new profile object appends to it.
    recreate();
    log().LogEvent(QStringLiteral("Bob left."), QString(), ConnectDisconnect);
    EXPECT_TRUE(logBytes().endsWith("Bob with the disc launcher.\r\n[21:07:45] Bob left.\r\n"));
}

TEST_F(EventLogTest, LogToFileClickStoresTheSettingAndPreparesTheFile) {
    log().SetLogToFile(true);
    EXPECT_EQ(fx.env.settings->read(p().section(), QStringLiteral("Log")), QStringLiteral("1"));
    EXPECT_TRUE(log().LogFileReady);
    log().LogEvent(QStringLiteral("one"), QString(), MissionScore);

    log().SetLogToFile(false);
    EXPECT_EQ(fx.env.settings->read(p().section(), QStringLiteral("Log")), QStringLiteral("0"));
    EXPECT_TRUE(log().LogFileReady); // only switching on prepares; off keeps the mark
    log().LogEvent(QStringLiteral("two"), QString(), MissionScore);
    EXPECT_EQ(logBytes(), QByteArray("[21:07:45] one\r\n"));

    log().SetLogToFile(true);
    log().LogEvent(QStringLiteral("three"), QString(), MissionScore);
    EXPECT_EQ(logBytes(), QByteArray("[21:07:45] one\r\n[21:07:45] three\r\n"));
}

TEST_F(EventLogTest, MissingDirectoryLeavesTheFileUnreadyUntilTickedAgain) {
    ASSERT_TRUE(QDir(p().directory()).removeRecursively());
    log().SetLogToFile(true);
    EXPECT_TRUE(log().LogToFile);
    EXPECT_FALSE(log().LogFileReady);
    log().LogEvent(QStringLiteral("lost"), QString(), MissionScore);
    EXPECT_FALSE(QFile::exists(logPath()));
    EXPECT_EQ(log().EventHistory.size(), 1);

    ASSERT_TRUE(QDir().mkpath(p().directory()));
    log().LogEvent(QStringLiteral("still lost"), QString(), MissionScore);
    EXPECT_FALSE(QFile::exists(logPath()));
    log().SetLogToFile(true);
    log().LogEvent(QStringLiteral("kept"), QString(), MissionScore);
    EXPECT_EQ(logBytes(), QByteArray("[21:07:45] kept\r\n"));
}

TEST_F(EventLogTest, LineIsDroppedSilentlyWhenTheFileWasRemoved) {
    enableLogSetting();
    ASSERT_TRUE(QFile::remove(logPath()));
    log().LogEvent(QStringLiteral("dropped"), QString(), MissionScore);
    EXPECT_FALSE(QFile::exists(logPath()));
    EXPECT_EQ(log().EventHistory.size(), 1);
    EXPECT_TRUE(fx.dialogs.messages.isEmpty());
}

TEST_F(EventLogTest, ExistingFileIsReadyAndKeptAsItIs) {
    QFile f(logPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("older\r\n");
    f.close();
    log().SetLogToFile(true);
    EXPECT_TRUE(log().LogFileReady);
    log().LogEvent(QStringLiteral("newer"), QString(), MissionScore);
    EXPECT_EQ(logBytes(), QByteArray("older\r\n[21:07:45] newer\r\n"));
}

// --- history and view ------------------------------------------------------------------

TEST_F(EventLogTest, HistoryAndViewHoldTheNewestHundred) {
    p().AttachView(&view);
    for (int i = 1; i <= 101; ++i)
        log().LogEvent(QStringLiteral("event %1").arg(i), QString(), 9);
    ASSERT_EQ(log().EventHistory.size(), 100);
    EXPECT_EQ(log().EventHistory.front(), QStringLiteral("[21:07:45] event 2"));
    EXPECT_EQ(log().EventHistory.back(), QStringLiteral("[21:07:45] event 101"));
    EXPECT_EQ(view.adds, 101);
    EXPECT_EQ(view.lines, log().EventHistory);
    for (int i = 102; i <= 350; ++i)
        log().LogEvent(QStringLiteral("event %1").arg(i), QString(), 9);
    EXPECT_EQ(log().EventHistory.size(), 100);
    EXPECT_EQ(log().EventHistory.front(), QStringLiteral("[21:07:45] event 251"));
}

TEST_F(EventLogTest, DetachedEventsAreShownAtAttachButNeverSpoken) {
    log().LogEvent(QStringLiteral("Kim killed Bob."), QStringLiteral("kim killed bob"),
                   KillsSuicides);
    EXPECT_EQ(view.adds, 0);
    EXPECT_TRUE(voice->spoken.isEmpty());

    p().AttachView(&view);
    EXPECT_EQ(view.fills, 1);
    EXPECT_EQ(view.lines, QStringList{QStringLiteral("[21:07:45] Kim killed Bob.")});
    EXPECT_TRUE(voice->spoken.isEmpty());

    log().LogEvent(QStringLiteral("Ann joined."), QStringLiteral("ann joined"), ConnectDisconnect);
    EXPECT_EQ(view.adds, 1);
    EXPECT_EQ(voice->spoken, QStringList{QStringLiteral("ann joined")});

    p().DetachView();
    log().LogEvent(QStringLiteral("Ann left."), QString(), ConnectDisconnect);
    EXPECT_EQ(view.adds, 1);
    EXPECT_EQ(voice->spoken.size(), 1);
    EXPECT_EQ(log().EventHistory.size(), 3);
}

TEST_F(EventLogTest, AttachShowsTheLogToFileState) {
    log().SetLogToFile(true);
    p().AttachView(&view);
    EXPECT_TRUE(view.logCheck);
}

// --- speech ----------------------------------------------------------------------------

TEST_F(EventLogTest, SpokenTextOrTheSentenceIsAnnouncedWhenTheCategoryIsOn) {
    p().AttachView(&view);
    log().LogEvent(QStringLiteral("Mission \"Raindance\" started (03/06/2024)."), QString(),
                   MissionScore);
    voice->finish();
    log().LogEvent(QStringLiteral("[X]Kim killed Bob."), QStringLiteral(" x kim killed bob."),
                   KillsSuicides);
    EXPECT_EQ(voice->spoken,
              (QStringList{"Mission \"Raindance\" started (03/06/2024).", " x kim killed bob."}));
    EXPECT_EQ(speech.SpeakingCategory, KillsSuicides);
}

TEST_F(EventLogTest, SwitchedOffOrUnknownCategoriesAreShownButNotSpoken) {
    p().AttachView(&view);
    speech.SetCategory(KillsSuicides, false);
    log().LogEvent(QStringLiteral("Kim killed Bob."), QString(), KillsSuicides);
    log().LogEvent(QStringLiteral("odd"), QString(), 7);
    log().LogEvent(QStringLiteral("odd"), QString(), -1);
    EXPECT_TRUE(voice->spoken.isEmpty());
    EXPECT_EQ(view.adds, 3);
}

TEST_F(EventLogTest, WithoutAnAnnouncerTheDisplayedProfileIsOnlyShown) {
    fx.context.Speech = nullptr; // the headless companion has no speech
    p().AttachView(&view);
    log().LogEvent(QStringLiteral("Kim joined."), QString(), ConnectDisconnect);
    EXPECT_EQ(view.adds, 1);
    EXPECT_TRUE(voice->spoken.isEmpty());
}

TEST_F(EventLogTest, ChatLineSpeaksOnlyTheMessage) {
    p().AttachView(&view);
    p().ClassifyLine(QStringLiteral("\"1\"2050\"Kim\"10.1.2.3:28001\"1\"0\"Female\""));
    ASSERT_NE(p().roster().slot(2050), nullptr);
    p().ClassifyLine(QStringLiteral("SAY: 2050 good game~wcheer"));
    ASSERT_FALSE(log().EventHistory.isEmpty());
    const QString entry = log().EventHistory.back();
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[21:07:45] Kim : "))) << qPrintable(entry);
    EXPECT_TRUE(entry.endsWith(QStringLiteral("good game~wcheer"))) << qPrintable(entry);
    EXPECT_EQ(view.lines.back(), entry);
    // Neither the speaker's name nor what follows the "~" is spoken.
    ASSERT_EQ(voice->spoken.size(), 1);
    EXPECT_EQ(voice->spoken[0].trimmed(), QStringLiteral("good game"));
    EXPECT_EQ(speech.SpeakingCategory, PlayerMessages);
}

} // namespace
