#include "platform/datetime.h"

#include <cmath>

namespace platform {

namespace {
const QDate Epoch(1899, 12, 30);
std::function<DateTime()> &clockOverride() {
    static std::function<DateTime()> clock;
    return clock;
}

// Splits t into whole days and milliseconds of the day; negative values count back from
// the epoch with a positive time of day.
void split(DateTime t, qint64 &days, qint64 &msec) {
    qint64 total = std::llround(t * SecondsPerDay * 1000.0);
    days = total / 86400000;
    msec = total % 86400000;
    if (msec < 0) {
        msec += 86400000;
        --days;
    }
}
QString two(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}
} // namespace

DateTime toDateTime(const QDateTime &dt) {
    const QDateTime local = dt.toLocalTime();
    return static_cast<double>(Epoch.daysTo(local.date())) +
           local.time().msecsSinceStartOfDay() / (SecondsPerDay * 1000.0);
}

QDateTime fromDateTime(DateTime t) {
    qint64 days = 0, msec = 0;
    split(t, days, msec);
    return QDateTime(Epoch.addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(msec)));
}

DateTime now() {
    if (clockOverride()) return clockOverride()();
    return toDateTime(QDateTime::currentDateTime());
}

void setClockForTesting(std::function<DateTime()> clock) {
    clockOverride() = std::move(clock);
}

QString formatTime(DateTime t) {
    qint64 days = 0, msec = 0;
    split(t, days, msec);
    const qint64 s = msec / 1000;
    return two(static_cast<int>(s / 3600)) + QLatin1Char(':') + two(static_cast<int>(s / 60 % 60)) +
           QLatin1Char(':') + two(static_cast<int>(s % 60));
}

QString formatDate(DateTime t) {
    const QDate d = fromDateTime(t).date();
    return two(d.month()) + QLatin1Char('/') + two(d.day()) + QLatin1Char('/') +
           QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'));
}

QString formatDateTime(DateTime t) {
    return formatDate(t) + QLatin1Char(' ') + formatTime(t);
}

int weekday(DateTime t) {
    return fromDateTime(t).date().dayOfWeek() % 7;
}

int hourOf(DateTime t) {
    return fromDateTime(t).time().hour();
}

} // namespace platform
