#pragma once

// A profile with a mission catalogue, a view that mirrors the mission list's rows, a console
// that collects the commands sent (a loopback listener for the whole profile, a fake profile
// for the catalogue alone), and helpers to write mission files.

#include "missions/loopback.h"
#include "missions/missions.h"
#include "support/fakeprofile.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace missions_testing {

// Keeps the captions of the mission list's rows as the view operations leave them.
class MissionRecordingView : public testing_support::RecordingView {
public:
    void insertMissionRow(int row, const TMission &mission) override {
        rows.insert(row, row_(mission));
        marks.insert(row, mission.Marked);
    }
    void removeMissionRow(int row) override {
        rows.removeAt(row);
        marks.removeAt(row);
    }
    void redrawMissionRow(int row, const TMission &mission) override {
        rows[row] = row_(mission);
        marks[row] = mission.Marked;
        ++redraws;
    }
    void reorderMissionRows(const QList<TMission *> &order) override {
        rows.clear();
        marks.clear();
        for (const TMission *m : order) {
            rows.append(row_(*m));
            marks.append(m->Marked);
        }
    }
    void clearMissionList() override {
        rows.clear();
        marks.clear();
        ++clears;
    }
    // The rows that show the current-mission image.
    QStringList marked() const {
        QStringList r;
        for (int i = 0; i < rows.size(); ++i)
            if (marks[i]) r.append(rows[i]);
        return r;
    }

    QStringList rows; // "Name|Type|Y"
    QList<bool> marks;
    int redraws = 0;
    int clears = 0;

private:
    static QString row_(const TMission &m) {
        return m.Name + QLatin1Char('|') + m.MissionType + QLatin1Char('|') + enableText(m);
    }
};

inline QStringList names(const QList<TMission *> &list) {
    QStringList r;
    for (const TMission *m : list)
        r.append(m->Name);
    return r;
}

inline void writeFile(const QString &path, const QByteArray &content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    f.write(content);
}

// A mission list "name,type,flag" per entry, written in dir and loaded into the catalogue.
inline void loadList(Missions &missions, const QString &dir, const QStringList &entries) {
    const QString file = dir + QStringLiteral("/list.vxl");
    writeFile(file, entries.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    missions.LoadMissionList(file);
}

// The displayed catalogue of a connected profile in active mode that records the commands it
// sends.
class RotationTest : public ::testing::Test {
protected:
    void SetUp() override {
        missions.setView(&view);
        load({"A,CTF,Y", "B,CTF,N", "C,Hunt,Y"});
    }

    void load(const QStringList &entries) { loadList(missions, profile.env.path(), entries); }
    // Every line sent since the last call, without the line feeds.
    QStringList sent() { return profile.take(); }
    // The link sent when the server reports name as started.
    QStringList linkFor(const QString &name) {
        missions.SetCurrentMission(name);
        missions.SendNextMission();
        return sent();
    }

    testing_support::FakeProfile profile;
    MissionRecordingView view;
    int sortColumn = 2;
    Missions missions{profile, sortColumn};
};

class MissionTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (profile && profile->View) profile->DetachView();
        platform::setClockForTesting({});
    }

    // Creates the profile (after the test prepared its settings) and displays it.
    TVexmoorServer &make(bool attach = true) {
        profile = std::make_unique<TVexmoorServer>(
            QStringLiteral("secret"), QStringLiteral("127.0.0.1"), console.port(), context);
        if (attach) profile->AttachView(&view);
        return *profile;
    }
    Missions &m() { return profile->missions(); }
    QString path(const QString &name) const { return env.path() + QLatin1Char('/') + name; }

    void load(const QStringList &entries) { loadList(m(), env.path(), entries); }
    bool connect() { return console.connect(*profile); }
    QStringList sent() { return console.sent(*profile); }

    testing_support::TempEnv env;
    testing_support::FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    testing_support::LoopbackConsole console;
    MissionRecordingView view;
    std::unique_ptr<TVexmoorServer> profile;
};

} // namespace missions_testing
