#pragma once

// A profile with its statistics in a temporary profile directory, a fixed clock, report lines
// fed through the dispatcher, and readers for the tables in memory and on disk.

#include "dbf/dbffile.h"
#include "platform/datetime.h"
#include "platform/settingsstore.h"
#include "stats/statistics.h"
#include "support/testsupport.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace stats_testing {

// One row: field name (upper case) -> text, numbers as the dataset or the file gives them.
struct Row {
    std::map<std::string, std::string> text;

    std::string str(const std::string &field) const {
        const auto it = text.find(field);
        return it == text.end() ? std::string("<no field ") + field + ">" : it->second;
    }
    double num(const std::string &field) const {
        const auto it = text.find(field);
        if (it == text.end()) {
            ADD_FAILURE() << "no field " << field;
            return -1e9;
        }
        return dbf::ParseNumber(it->second);
    }
    int integer(const std::string &field) const { return static_cast<int>(num(field)); }
};

// The rows of an open table, in table order, read without moving the dataset.
inline std::vector<Row> rowsOf(StatsTable &table) {
    std::vector<Row> rows;
    if (!table.Active()) return rows;
    const int count = table.RecordCount();
    for (int n = 1; n <= count; ++n) {
        std::vector<std::string> texts;
        bool deleted = false;
        if (!table.ReadRow(n, texts, deleted)) break;
        Row row;
        for (int i = 0; i < table.FieldCount(); ++i)
            row.text[table.Fields(i).FieldName()] = texts[static_cast<std::size_t>(i)];
        rows.push_back(row);
    }
    return rows;
}

// The rows of a table file as stored (text trimmed), read with the engine's file layer.
// A missing file gives no rows; *exists tells whether it was there.
inline std::vector<Row> rowsOnDisk(const QString &path, bool *exists = nullptr) {
    std::vector<Row> rows;
    if (exists) *exists = QFile::exists(path);
    if (!QFile::exists(path)) return rows;
    auto table = dbf::OpenDbf(QFile::encodeName(path).toStdString(), false);
    if (!table) {
        ADD_FAILURE() << "cannot open " << qPrintable(path);
        return rows;
    }
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(table->recordLength));
    for (std::int32_t n = 1; n <= table->recCount; ++n) {
        if (!dbf::GetDbfRecord(*table, n, raw.data())) break;
        Row row;
        for (const dbf::FieldDesc &f : table->fields) {
            std::string t(reinterpret_cast<const char *>(raw.data()) + f.offset,
                          static_cast<std::size_t>(f.width));
            while (!t.empty() && t.back() == ' ')
                t.pop_back();
            while (!t.empty() && t.front() == ' ' && f.type != 'C')
                t.erase(t.begin());
            row.text[f.name] = t;
        }
        rows.push_back(row);
    }
    dbf::CloseDbf(std::move(table));
    return rows;
}

inline QByteArray fileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// 2024-03-06 (a Wednesday) at the given time, in days since 1899-12-30.
inline platform::DateTime at(int hour, int minute, int second = 0) {
    return 45357.0 + (hour * 3600 + minute * 60 + second) / platform::SecondsPerDay;
}
constexpr double Minute = 1.0 / 1440.0;

// Records what the Stats page is told.
class StatsRecordingView : public testing_support::RecordingView {
public:
    void showStatsState(bool enabled, bool kills, bool missions) override {
        states.push_back({enabled, kills, missions});
    }
    void statsTablesChanged() override { ++tableChanges; }

    struct State {
        bool enabled, kills, missions;
    };
    std::vector<State> states;
    int tableChanges = 0;
};

class StatsTest : public ::testing::Test {
protected:
    StatsTest() {
        platform::setClockForTesting([this] { return clock; });
        fx = std::make_unique<testing_support::ProfileFixture>();
    }
    ~StatsTest() override {
        fx.reset();
        platform::setClockForTesting({});
    }

    TVexmoorServer &p() { return *fx->profile; }
    Statistics &stats() { return p().stats(); }
    platform::SettingsStore &settings() { return *fx->env.settings; }
    QString setting(const QString &key) { return settings().read(p().section(), key, "<none>"); }
    QString file(const QString &name) const { return fx->profile->directory() + "/" + name; }

    // One report line as the console prints it: each field followed by a double quote.
    void report(const QStringList &fields) {
        p().ClassifyLine(QLatin1Char('"') + fields.join(QLatin1Char('"')) + QLatin1Char('"'));
    }
    void connect(int id, const QString &name, const QString &address = "IP:10.0.0.1:1") {
        report({"C", QString::number(id), name, address, "Male"});
    }
    // A player listed with a team.
    void listed(int id, const QString &name, int team) {
        report(
            {"1", QString::number(id), name, "IP:10.0.0.9:9", QString::number(team), "0", "Male"});
    }
    void disconnect(int id) { report({"D", QString::number(id)}); }
    void kill(int killer, int victim, const QString &weapon, int points = 1,
              const QString &code = "K") {
        report({code, QString::number(killer), QString::number(victim), weapon,
                QString::number(points)});
    }

    std::vector<Row> players() { return rowsOf(*stats().PlayersTable); }
    std::vector<Row> kills() { return rowsOf(*stats().KillsTable); }
    std::vector<Row> missions() { return rowsOf(*stats().MissionsTable); }

    platform::DateTime clock = at(21, 0, 0);
    std::unique_ptr<testing_support::ProfileFixture> fx;
};

} // namespace stats_testing
