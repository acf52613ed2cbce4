#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace platform {

// Date-times are doubles counting local days since 30 December 1899; the fraction is the
// time of day. Durations are differences in days.
using DateTime = double;

constexpr double SecondsPerDay = 86400.0;

DateTime toDateTime(const QDateTime &dt);
QDateTime fromDateTime(DateTime t);

// The current local time. Tests may replace the clock.
DateTime now();
void setClockForTesting(std::function<DateTime()> clock); // empty function: the real clock

// "hh:nn:ss" of the time-of-day part (so durations wrap at 24 hours), "mm/dd/yyyy",
// "mm/dd/yyyy hh:nn:ss".
QString formatTime(DateTime t);
QString formatDate(DateTime t);
QString formatDateTime(DateTime t);

// Weekday of a date-time, 0 = Sunday .. 6 = Saturday, and its hour 0..23.
int weekday(DateTime t);
int hourOf(DateTime t);

} // namespace platform
