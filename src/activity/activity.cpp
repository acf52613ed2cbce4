#include "activity/activity.h"

#include "platform/privatefile.h"
#include "session/profile.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace {
constexpr qint64 MsPerHour = 3600000;
constexpr qint64 MsPerDay = 24 * MsPerHour;

// The hour of t counted from the epoch, on the same millisecond rounding as the clock's
// formatting, so that hour numbers and hourOf agree.
qint64 hourNumber(platform::DateTime t) {
    const qint64 ms = std::llround(t * platform::SecondsPerDay * 1000.0);
    return ms >= 0 ? ms / MsPerHour : -((-ms + MsPerHour - 1) / MsPerHour);
}

int compareNames(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive);
}
} // namespace

HourSlot hourSlot(platform::DateTime t) {
    return {platform::weekday(t), platform::hourOf(t)};
}

HourSlot previousHourSlot(platform::DateTime t) {
    const HourSlot now = hourSlot(t);
    if (now.hour > 0) return {now.day, now.hour - 1};
    return {(now.day + 6) % 7, 23};
}

QString formatUptime(double days) {
    double ms = std::round(days * platform::SecondsPerDay * 1000.0);
    if (!(ms > 0)) ms = 0;
    ms = std::min(ms, 9.0e15); // far beyond any uptime; keeps the conversion defined
    const qint64 total = static_cast<qint64>(ms);
    const qint64 seconds = total % MsPerDay / 1000;
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QString::number(total / MsPerDay) + QLatin1Char(':') + two(seconds / 3600) +
           QLatin1Char(':') + two(seconds / 60 % 60) + QLatin1Char(':') + two(seconds % 60);
}

Activity::Activity(Profile &profile, const Roster &roster)
    : m_profile(profile), m_roster(roster), m_sampledHour(hourNumber(platform::now())) {}

QString Activity::fileName() const {
    return m_profile.directory() + QStringLiteral("/activity");
}

void Activity::playerArrived(PlayerSlot &player) {
    LastConnection = player.ConnectTime;
    AddNameThisHour(player.Name);
    ++TotalConnections;
    if (!m_view) return;
    Chart_update();
    showFigures();
}

void Activity::playerLeft(PlayerSlot &player) {
    const double play = platform::now() - player.ConnectTime;
    ++CompletedSessions;
    TotalPlayTime += play;
    ShortestPlayTime = std::min(ShortestPlayTime, play);
    LongestPlayTime = std::max(LongestPlayTime, play);
    if (m_view) showFigures();
}

void Activity::ClearActivity() {
    HourlyCounts = {};
    HourlyAverages = {};
}

void Activity::LoadActivity() {
    // Only a regular file, never through a link, and never more than one activity file.
    QByteArray data;
    if (!platform::readRegularFile(fileName(), {FileSize, false}, data)) return;
    // A short file is no activity file: the arrays keep their values and the next save
    // writes a whole one.
    if (data.size() < FileSize) return;
    const uchar *counts = reinterpret_cast<const uchar *>(data.constData());
    const uchar *averages = counts + RecordSize;
    for (int d = 0; d < 7; ++d) {
        for (int h = 0; h < 24; ++h) {
            const int i = d * 24 + h;
            const qint32 n = qFromLittleEndian<qint32>(counts + 4 * i);
            const float a = std::bit_cast<float>(qFromLittleEndian<quint32>(averages + 4 * i));
            // A damaged slot would poison every later average of its hour.
            const bool sound = n >= 0 && std::isfinite(a);
            HourlyCounts[d][h] = sound ? n : 0;
            HourlyAverages[d][h] = sound ? a : 0.0f;
        }
    }
}

bool Activity::SaveActivity() const {
    QByteArray data(FileSize, '\0');
    uchar *counts = reinterpret_cast<uchar *>(data.data());
    uchar *averages = counts + RecordSize;
    for (int d = 0; d < 7; ++d) {
        for (int h = 0; h < 24; ++h) {
            const int i = d * 24 + h;
            qToLittleEndian<qint32>(HourlyCounts[d][h], counts + 4 * i);
            qToLittleEndian<quint32>(std::bit_cast<quint32>(HourlyAverages[d][h]),
                                     averages + 4 * i);
        }
    }
    return platform::replaceFile(fileName(), data);
}

void Activity::AddNameThisHour(const QString &name) {
    const auto at =
        std::lower_bound(NamesThisHour.begin(), NamesThisHour.end(), name,
                         [](const QString &a, const QString &b) { return compareNames(a, b) < 0; });
    if (at != NamesThisHour.end() && compareNames(*at, name) == 0) return;
    NamesThisHour.insert(at, name);
}

void Activity::RefillNamesThisHour() {
    NamesThisHour.clear();
    for (const PlayerSlot *p : m_roster.ConnectedPlayers)
        AddNameThisHour(p->Name);
}

void Activity::SampleActivity() {
    sampleAt(platform::now());
}

void Activity::sampleAt(platform::DateTime t) {
    const HourSlot slot = previousHourSlot(t);
    qint32 &count = HourlyCounts[slot.day][slot.hour];
    float &average = HourlyAverages[slot.day][slot.hour];
    const double n = count;
    const double sample = static_cast<double>(NamesThisHour.size());
    average = static_cast<float>((sample + n * average) / (n + 1));
    if (count < std::numeric_limits<qint32>::max()) ++count;
    RefillNamesThisHour();
    SaveActivity();
    if (m_view) {
        m_view->setChartPoint(slot.day, slot.hour, average);
        Chart_update();
    }
}

double Activity::ProjectedValue() const {
    const HourSlot slot = hourSlot(platform::now());
    const double n = HourlyCounts[slot.day][slot.hour];
    const double a = HourlyAverages[slot.day][slot.hour];
    return (static_cast<double>(NamesThisHour.size()) + n * a) / (n + 1);
}

void Activity::ShowActivityFigures() {
    if (!m_view) return;
    showFigures();
    m_view->markChartDay(platform::weekday(platform::now()));
    m_view->Chart_refresh(HourlyAverages);
}

void Activity::showFigures() {
    ActivityFigureTexts texts;
    texts.Current = QString::number(m_roster.ConnectedPlayers.size());
    texts.Total = QString::number(TotalConnections);
    if (LastConnection != 0)
        texts.Last = platform::formatDate(LastConnection) + QLatin1Char('\n') +
                     platform::formatTime(LastConnection);
    if (ShortestPlayTime < 999999.0) texts.Low = platform::formatTime(ShortestPlayTime);
    if (LongestPlayTime > 0) texts.High = platform::formatTime(LongestPlayTime);
    if (CompletedSessions > 0)
        texts.Average = platform::formatTime(TotalPlayTime / CompletedSessions);
    m_view->showActivityFigures(texts);
}

void Activity::Chart_update() {
    if (!m_view) return;
    const HourSlot slot = hourSlot(platform::now());
    m_view->setChartPoint(slot.day, slot.hour, ProjectedValue());
}

void Activity::ResetGraph() {
    ClearActivity();
    if (m_view) {
        m_view->Chart_refresh(HourlyAverages);
        Chart_update();
    }
    SaveActivity();
}

void Activity::UpdateUptime() {
    if (!m_view) return;
    m_view->setUptime(SessionStart > 0 ? formatUptime(platform::now() - SessionStart) : QString());
}

void Activity::CheckActivityTime() {
    const platform::DateTime t = platform::now();
    const qint64 hour = hourNumber(t);
    if (hour == m_sampledHour) return;
    if (hour < m_sampledHour) {
        // The clock was set back: the hour just ended was sampled already; wait for the next
        // boundary.
        m_sampledHour = hour;
        return;
    }
    // The first tick of a new hour samples the hour that just ended, once, however many
    // ticks fall into that hour's first second or however many hours the ticks skipped.
    m_sampledHour = hour;
    const HourSlot now = hourSlot(t);
    if (now.hour == 0 && m_view) m_view->markChartDay(now.day);
    sampleAt(t);
}
