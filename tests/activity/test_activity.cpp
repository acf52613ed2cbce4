// The activity figures of a profile: hour slots, the hourly sample, the activity file, the
// figures shown and the uptime.
#include "support/testsupport.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

platform::DateTime at(int year, int month, int day, int h, int m = 0, int s = 0, int ms = 0) {
    return platform::toDateTime(QDateTime(QDate(year, month, day), QTime(h, m, s, ms)));
}

// 2024-01-01 is a Monday.
constexpr int Sun = 0, Mon = 1, Wed = 3, Sat = 6;

struct ChartView : RecordingView {
    void showActivityFigures(const ActivityFigureTexts &t) override {
        texts = t;
        ++figuresShown;
    }
    void setUptime(const QString &text) override { uptime = text; }
    void Chart_refresh(const HourlyAverageArray &a) override {
        chart = a;
        ++refreshes;
    }
    void setChartPoint(int day, int hour, double value) override {
        points.append({day, hour, value});
    }
    void markChartDay(int weekday) override { marked = weekday; }

    struct Point {
        int day, hour;
        double value;
    };
    ActivityFigureTexts texts;
    int figuresShown = 0;
    QString uptime = QStringLiteral("untouched");
    HourlyAverageArray chart{};
    int refreshes = 0;
    QList<Point> points;
    int marked = -1;
};

class ActivityTest : public ::testing::Test {
protected:
    ActivityTest() {
        platform::setClockForTesting([this] { return clock; });
        fx = std::make_unique<ProfileFixture>();
    }
    ~ActivityTest() override {
        fx.reset();
        platform::setClockForTesting({});
    }

    TVexmoorServer &p() { return *fx->profile; }
    Activity &act() { return fx->profile->activity(); }
    // Puts a player into the roster as connected.
    void join(int id, const QString &name) {
        PlayerSlot &s = p().roster().PlayerSlots[static_cast<size_t>(id - FirstClientId)];
        s.Name = name;
        s.ClientId = id;
        p().roster().ConnectedPlayers.append(&s);
        act().AddNameThisHour(name);
    }
    void tick(platform::DateTime t) {
        clock = t;
        p().Timer1Tick();
    }
    QByteArray fileBytes() {
        QFile f(act().fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    int samples() const {
        int n = 0;
        for (const auto &day : fx->profile->activity().HourlyCounts)
            for (qint32 c : day)
                n += c;
        return n;
    }

    platform::DateTime clock = at(2024, 1, 3, 12, 30); // a Wednesday
    std::unique_ptr<ProfileFixture> fx;
};

// --- hour slots and the hourly sample ----------------------------------------------------

TEST(HourSlots, TheHourThatJustEnded) {
    EXPECT_EQ(previousHourSlot(at(2024, 1, 1, 0)), (HourSlot{Sun, 23})); // Monday midnight
    EXPECT_EQ(previousHourSlot(at(2024, 1, 7, 0)), (HourSlot{Sat, 23})); // Sunday midnight
    EXPECT_EQ(previousHourSlot(at(2024, 1, 3, 13)), (HourSlot{Wed, 12}));
    EXPECT_EQ(previousHourSlot(at(2024, 1, 3, 13, 59, 59)), (HourSlot{Wed, 12}));
    EXPECT_EQ(hourSlot(at(2024, 1, 1, 23, 59, 59)), (HourSlot{Mon, 23}));
}

TEST_F(ActivityTest, SamplesGoToTheSlotOfTheEndedHour) {
    const struct {
        platform::DateTime before, boundary;
        HourSlot slot;
    } cases[] = {
        {at(2024, 1, 7, 23, 59, 59), at(2024, 1, 8, 0), {Sun, 23}}, // Monday 00:00:00
        {at(2024, 1, 6, 23, 59, 59), at(2024, 1, 7, 0), {Sat, 23}}, // Sunday 00:00:00
        {at(2024, 1, 3, 12, 59, 59), at(2024, 1, 3, 13), {Wed, 12}},
    };
    for (const auto &c : cases) {
        tick(c.before);
        act().ClearActivity();
        tick(c.boundary);
        EXPECT_EQ(act().HourlyCounts[c.slot.day][c.slot.hour], 1);
        EXPECT_EQ(samples(), 1);
    }
}

TEST_F(ActivityTest, AverageFoldsSamplesOfTheSameSlot) {
    tick(at(2024, 1, 3, 12, 59));
    for (const char *name : {"Ann", "Bob", "Cy"})
        act().AddNameThisHour(QLatin1String(name));
    tick(at(2024, 1, 3, 13));
    EXPECT_FLOAT_EQ(act().HourlyAverages[Wed][12], 3.0f);
    EXPECT_EQ(act().HourlyCounts[Wed][12], 1);
    // A week later, one name in that hour.
    tick(at(2024, 1, 10, 12, 59));
    act().NamesThisHour = {QStringLiteral("Dee")};
    tick(at(2024, 1, 10, 13));
    EXPECT_FLOAT_EQ(act().HourlyAverages[Wed][12], 2.0f);
    EXPECT_EQ(act().HourlyCounts[Wed][12], 2);
    // A third sample of 0: (0 + 2 * 2) / 3, kept as a single-precision float.
    tick(at(2024, 1, 17, 12, 59));
    act().NamesThisHour.clear();
    tick(at(2024, 1, 17, 13));
    EXPECT_EQ(act().HourlyAverages[Wed][12], static_cast<float>(4.0 / 3.0));
}

TEST_F(ActivityTest, OneSamplePerHourWhateverTheTicks) {
    tick(at(2024, 1, 3, 12, 59, 59));
    tick(at(2024, 1, 3, 13, 0, 0));
    tick(at(2024, 1, 3, 13, 0, 0, 600)); // a second tick in the same second
    tick(at(2024, 1, 3, 13, 0, 1));
    EXPECT_EQ(samples(), 1);
    // A tick that skips the first second of the hour still samples it.
    tick(at(2024, 1, 3, 13, 59, 59));
    tick(at(2024, 1, 3, 14, 0, 2));
    EXPECT_EQ(act().HourlyCounts[Wed][13], 1);
    EXPECT_EQ(samples(), 2);
    // After a gap of several hours only the hour that just ended is sampled.
    tick(at(2024, 1, 3, 18, 20));
    EXPECT_EQ(act().HourlyCounts[Wed][17], 1);
    EXPECT_EQ(samples(), 3);
}

TEST_F(ActivityTest, ClockSetBackWaitsForTheNextBoundary) {
    tick(at(2024, 1, 3, 12, 50));
    tick(at(2024, 1, 3, 11, 50)); // an hour back: no hour has ended
    EXPECT_EQ(samples(), 0);
    tick(at(2024, 1, 3, 11, 55));
    EXPECT_EQ(samples(), 0);
    tick(at(2024, 1, 3, 12, 0));
    EXPECT_EQ(samples(), 1);
    EXPECT_EQ(act().HourlyCounts[Wed][11], 1);
}

TEST_F(ActivityTest, ANewHourStartsWithThePlayersConnectedNow) {
    tick(at(2024, 1, 3, 12, 10));
    join(2049, QStringLiteral("Ann"));
    join(2050, QStringLiteral("Bob"));
    act().AddNameThisHour(QStringLiteral("Gone")); // left during the hour
    tick(at(2024, 1, 3, 13));
    EXPECT_FLOAT_EQ(act().HourlyAverages[Wed][12], 3.0f);
    EXPECT_EQ(act().NamesThisHour, QStringList({QStringLiteral("Ann"), QStringLiteral("Bob")}));
    // A player connected across several hours counts in each.
    tick(at(2024, 1, 3, 14));
    EXPECT_FLOAT_EQ(act().HourlyAverages[Wed][13], 2.0f);
}

TEST_F(ActivityTest, NamesCountOnceWhateverTheirCase) {
    act().AddNameThisHour(QStringLiteral("bob"));
    act().AddNameThisHour(QStringLiteral("Ann"));
    act().AddNameThisHour(QStringLiteral("BOB"));
    act().AddNameThisHour(QStringLiteral("carl"));
    act().AddNameThisHour(QStringLiteral("ann"));
    EXPECT_EQ(act().NamesThisHour,
              QStringList({QStringLiteral("Ann"), QStringLiteral("bob"), QStringLiteral("carl")}));
    join(2049, QStringLiteral("Zed"));
    join(2050, QStringLiteral("zED"));
    act().RefillNamesThisHour();
    EXPECT_EQ(act().NamesThisHour, QStringList{QStringLiteral("Zed")});
}

TEST_F(ActivityTest, SampleWhileOfflineCountsAnEmptyHour) {
    tick(at(2024, 1, 3, 12, 59));
    tick(at(2024, 1, 3, 13));
    EXPECT_EQ(act().HourlyCounts[Wed][12], 1);
    EXPECT_FLOAT_EQ(act().HourlyAverages[Wed][12], 0.0f);
}

// --- the activity file ------------------------------------------------------------------

TEST_F(ActivityTest, FileHoldsCountsThenAveragesLittleEndian) {
    act().HourlyCounts[Mon][5] = 0x01020304;
    act().HourlyAverages[Mon][5] = 2.5f;
    act().HourlyCounts[Sat][23] = 7;
    act().HourlyAverages[Sat][23] = -1.0f;
    ASSERT_TRUE(act().SaveActivity());
    const QByteArray bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 1344);
    const int mon5 = 24 + 5, sat23 = 6 * 24 + 23;
    EXPECT_EQ(bytes.mid(4 * mon5, 4), QByteArray("\x04\x03\x02\x01", 4));
    EXPECT_EQ(bytes.mid(4 * sat23, 4), QByteArray("\x07\x00\x00\x00", 4));
    EXPECT_EQ(bytes.mid(672 + 4 * mon5, 4), QByteArray("\x00\x00\x20\x40", 4));  // 2.5f
    EXPECT_EQ(bytes.mid(672 + 4 * sat23, 4), QByteArray("\x00\x00\x80\xbf", 4)); // -1.0f
    EXPECT_EQ(bytes.count('\0'), 1344 - 4 - 1 - 2 - 2);

    // A profile of the same address loads it at creation.
    fx->profile.reset();
    TVexmoorServer second(QStringLiteral("secret"), QStringLiteral("127.0.0.1"), 28001,
                          fx->context);
    EXPECT_EQ(second.activity().HourlyCounts[Mon][5], 0x01020304);
    EXPECT_FLOAT_EQ(second.activity().HourlyAverages[Mon][5], 2.5f);
    EXPECT_EQ(second.activity().HourlyCounts[Sat][23], 7);
    EXPECT_FLOAT_EQ(second.activity().HourlyAverages[Sat][23], -1.0f);
}

TEST_F(ActivityTest, EverySampleSavesTheFile) {
    tick(at(2024, 1, 3, 12, 59));
    act().AddNameThisHour(QStringLiteral("Ann"));
    tick(at(2024, 1, 3, 13));
    const QByteArray bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 1344);
    const int slot = Wed * 24 + 12;
    EXPECT_EQ(qFromLittleEndian<qint32>(bytes.constData() + 4 * slot), 1);
    float average = 0;
    const quint32 raw = qFromLittleEndian<quint32>(bytes.constData() + 672 + 4 * slot);
    std::memcpy(&average, &raw, 4);
    EXPECT_FLOAT_EQ(average, 1.0f);
}

TEST_F(ActivityTest, ShortFileIsIgnoredAndReplacedAtTheNextSave) {
    {
        QFile f(act().fileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1000, '\x01'));
    }
    act().ClearActivity();
    act().LoadActivity();
    EXPECT_EQ(samples(), 0);
    for (const auto &day : act().HourlyAverages)
        for (float a : day)
            EXPECT_EQ(a, 0.0f);
    ASSERT_TRUE(act().SaveActivity());
    EXPECT_EQ(fileBytes(), QByteArray(1344, '\0'));
}

TEST_F(ActivityTest, MissingFileLeavesZerosAndDamagedSlotsReadEmpty) {
    act().LoadActivity(); // no file yet
    EXPECT_EQ(samples(), 0);
    QByteArray bytes(1344, '\0');
    qToLittleEndian<qint32>(-4, bytes.data() + 4 * 10);                 // negative count
    qToLittleEndian<quint32>(0x7fc00000u, bytes.data() + 672 + 4 * 11); // NaN average
    qToLittleEndian<qint32>(3, bytes.data() + 4 * 12);
    qToLittleEndian<quint32>(0x40400000u, bytes.data() + 672 + 4 * 12); // 3.0f
    {
        QFile f(act().fileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    act().LoadActivity();
    EXPECT_EQ(act().HourlyCounts[0][10], 0);
    EXPECT_EQ(act().HourlyCounts[0][11], 0);
    EXPECT_EQ(act().HourlyAverages[0][11], 0.0f);
    EXPECT_EQ(act().HourlyCounts[0][12], 3);
    EXPECT_FLOAT_EQ(act().HourlyAverages[0][12], 3.0f);
}

TEST_F(ActivityTest, ResetGraphWritesZerosAndRedrawsTheChart) {
    ChartView view;
    p().AttachView(&view);
    act().HourlyCounts[Wed][12] = 4;
    act().HourlyAverages[Wed][12] = 6.5f;
    act().TotalConnections = 9;
    act().AddNameThisHour(QStringLiteral("Ann"));
    view.points.clear();
    act().ResetGraph();
    EXPECT_EQ(samples(), 0);
    EXPECT_EQ(view.chart[Wed][12], 0.0f);
    EXPECT_EQ(fileBytes(), QByteArray(1344, '\0'));
    EXPECT_EQ(act().TotalConnections, 9); // the other figures stay
    EXPECT_EQ(act().NamesThisHour.size(), 1);
    // The current hour (Wednesday 12:30) shows its projection: one name, no samples.
    ASSERT_EQ(view.points.size(), 1);
    EXPECT_EQ(view.points[0].day, Wed);
    EXPECT_EQ(view.points[0].hour, 12);
    EXPECT_DOUBLE_EQ(view.points[0].value, 1.0);
}

// --- the figures shown -----------------------------------------------------------------

TEST_F(ActivityTest, FiguresStayEmptyUntilThereIsSomethingToShow) {
    ChartView view;
    p().AttachView(&view);
    ASSERT_EQ(view.figuresShown, 1);
    EXPECT_EQ(view.texts.Current, QStringLiteral("0"));
    EXPECT_EQ(view.texts.Total, QStringLiteral("0"));
    EXPECT_EQ(view.texts.Last, QString());
    EXPECT_EQ(view.texts.Low, QString());
    EXPECT_EQ(view.texts.High, QString());
    EXPECT_EQ(view.texts.Average, QString());
    EXPECT_EQ(view.refreshes, 1);
    EXPECT_EQ(view.marked, Wed);
}

TEST_F(ActivityTest, FiguresShowTimesOfDayAndDurationsWrap) {
    join(2049, QStringLiteral("Ann"));
    Activity &a = act();
    a.TotalConnections = 12;
    a.LastConnection = at(2024, 2, 9, 7, 5, 3);
    a.ShortestPlayTime = 25.0 / 24; // 25 hours
    a.LongestPlayTime = 2 + 3.0 / 24 + 4.0 / 1440;
    a.CompletedSessions = 3;
    a.TotalPlayTime = 3 * (1.0 / 24 + 30.0 / 1440 + 15.0 / 86400); // average 01:30:15
    a.HourlyAverages[Sat][4] = 1.25f;
    ChartView view;
    p().AttachView(&view);
    EXPECT_EQ(view.texts.Current, QStringLiteral("1"));
    EXPECT_EQ(view.texts.Total, QStringLiteral("12"));
    EXPECT_EQ(view.texts.Last, QStringLiteral("02/09/2024\n07:05:03"));
    EXPECT_EQ(view.texts.Low, QStringLiteral("01:00:00"));
    EXPECT_EQ(view.texts.High, QStringLiteral("03:04:00"));
    EXPECT_EQ(view.texts.Average, QStringLiteral("01:30:15"));
    EXPECT_EQ(view.chart[Sat][4], 1.25f);
}

TEST_F(ActivityTest, UptimeCountsDaysThenTheTimeOfDay) {
    EXPECT_EQ(formatUptime(1.0 / 24 + 2.0 / 1440 + 3.0 / 86400), QStringLiteral("0:01:02:03"));
    EXPECT_EQ(formatUptime(25.0 / 24), QStringLiteral("1:01:00:00"));
    EXPECT_EQ(formatUptime(12 + 0.5), QStringLiteral("12:12:00:00"));
    EXPECT_EQ(formatUptime(0), QStringLiteral("0:00:00:00"));
    EXPECT_EQ(formatUptime(-0.5), QStringLiteral("0:00:00:00"));

    ChartView view;
    p().Timer1Tick(); // not displayed: nothing shown
    EXPECT_EQ(view.uptime, QStringLiteral("untouched"));
    p().AttachView(&view);
    p().Timer1Tick(); // offline
    EXPECT_EQ(view.uptime, QString());
    act().SessionStart = clock - (25.0 / 24 + 5.0 / 86400);
    p().Timer1Tick();
    EXPECT_EQ(view.uptime, QStringLiteral("1:01:00:05"));
}

TEST_F(ActivityTest, DisplayedSampleDrawsItsPointAndTheProjection) {
    ChartView view;
    p().AttachView(&view);
    tick(at(2024, 1, 3, 12, 59, 59));
    act().HourlyCounts[Wed][13] = 1;
    act().HourlyAverages[Wed][13] = 4.0f;
    join(2049, QStringLiteral("Ann"));
    join(2050, QStringLiteral("Bob"));
    view.points.clear();
    tick(at(2024, 1, 3, 13));
    ASSERT_EQ(view.points.size(), 2);
    EXPECT_EQ(view.points[0].hour, 12);
    EXPECT_DOUBLE_EQ(view.points[0].value, 2.0);
    // Hour 13: (2 names + 1 sample x 4.0) / 2.
    EXPECT_EQ(view.points[1].hour, 13);
    EXPECT_DOUBLE_EQ(view.points[1].value, 3.0);
    EXPECT_DOUBLE_EQ(act().ProjectedValue(), 3.0);
    EXPECT_EQ(act().HourlyCounts[Wed][13], 1); // projected, never stored
}

TEST_F(ActivityTest, MidnightMovesTheDayMarker) {
    ChartView view;
    p().AttachView(&view);
    view.marked = -1;
    tick(at(2024, 1, 3, 22, 59, 59));
    tick(at(2024, 1, 3, 23));
    EXPECT_EQ(view.marked, -1);
    tick(at(2024, 1, 4, 0, 0, 1));
    EXPECT_EQ(view.marked, 4); // Thursday
}

} // namespace
