#include "platform/datetime.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(DateTime, EpochAndRoundTrip) {
    EXPECT_DOUBLE_EQ(toDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(toDateTime(QDateTime(QDate(1900, 1, 1), QTime(12, 0))), 2.5);
    const QDateTime t(QDate(2026, 12, 9), QTime(18, 30, 15));
    EXPECT_EQ(fromDateTime(toDateTime(t)), t);
}

TEST(DateTime, FormatsWithLeadingZeros) {
    const DateTime t = toDateTime(QDateTime(QDate(2024, 3, 7), QTime(5, 4, 9)));
    EXPECT_EQ(formatTime(t), QStringLiteral("05:04:09"));
    EXPECT_EQ(formatDate(t), QStringLiteral("03/07/2024"));
    EXPECT_EQ(formatDateTime(t), QStringLiteral("03/07/2024 05:04:09"));
}

TEST(DateTime, DurationsWrapAtOneDay) {
    EXPECT_EQ(formatTime(1.5 / 24.0), QStringLiteral("01:30:00"));
    EXPECT_EQ(formatTime(1.0 + 2.0 / 24.0), QStringLiteral("02:00:00"));
    EXPECT_EQ(formatTime(0.0), QStringLiteral("00:00:00"));
}

TEST(DateTime, WeekdayStartsOnSunday) {
    EXPECT_EQ(weekday(toDateTime(QDateTime(QDate(2026, 12, 6), QTime(10, 0)))), 0); // Sunday
    EXPECT_EQ(weekday(toDateTime(QDateTime(QDate(2026, 12, 12), QTime(23, 59)))), 6);
    EXPECT_EQ(hourOf(toDateTime(QDateTime(QDate(2026, 12, 12), QTime(23, 59)))), 23);
}

TEST(DateTime, TestClockReplacesNow) {
    setClockForTesting([] { return 45000.25; });
    EXPECT_DOUBLE_EQ(now(), 45000.25);
    setClockForTesting({});
    EXPECT_GT(now(), 45000.0);
}
