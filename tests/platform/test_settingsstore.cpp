#include "platform/settingsstore.h"
#include "support/testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::parseSettingsInt;
using platform::SettingsStore;

TEST(SettingsInt, AcceptsDecimalSignsBlanksAndHexPrefixes) {
    EXPECT_EQ(parseSettingsInt(QStringLiteral("30")), 30);
    EXPECT_EQ(parseSettingsInt(QStringLiteral("  -7")), -7);
    EXPECT_EQ(parseSettingsInt(QStringLiteral("+12")), 12);
    EXPECT_EQ(parseSettingsInt(QStringLiteral("$FF")), 255);
    EXPECT_EQ(parseSettingsInt(QStringLiteral("0x10")), 16);
    EXPECT_EQ(parseSettingsInt(QStringLiteral("0XfFfFfF")), 16777215);
    EXPECT_EQ(parseSettingsInt(QStringLiteral("-$10")), -16);
}

TEST(SettingsInt, RefusesEverythingElse) {
    for (const char *bad :
         {"", " ", "abc", "12a", "1 2", "12 ", "$", "0x", "$G", "99999999999", "1.5", "--1"})
        EXPECT_FALSE(parseSettingsInt(QString::fromLatin1(bad))) << bad;
}

TEST(SettingsStore, EncodingsOfBooleansAndIntegers) {
    QTemporaryDir dir;
    SettingsStore store(dir.path() + QStringLiteral("/Vexmoor.ini"));
    store.write(QStringLiteral("Vexmoor"), QStringLiteral("Speech_Kill"), QString());
    store.write(QStringLiteral("Vexmoor"), QStringLiteral("MuteCodes"), QStringLiteral("0"));
    store.write(QStringLiteral("Vexmoor"), QStringLiteral("Other"), QStringLiteral("no"));
    EXPECT_TRUE(store.readBool(QStringLiteral("Vexmoor"), QStringLiteral("Speech_Kill"), false));
    EXPECT_FALSE(store.readBool(QStringLiteral("Vexmoor"), QStringLiteral("MuteCodes"), true));
    EXPECT_TRUE(store.readBool(QStringLiteral("Vexmoor"), QStringLiteral("Other"), false));
    EXPECT_FALSE(store.readBool(QStringLiteral("Vexmoor"), QStringLiteral("Missing"), false));
    store.writeBool(QStringLiteral("p:1"), QStringLiteral("Log"), true);
    EXPECT_EQ(store.read(QStringLiteral("p:1"), QStringLiteral("Log")), QStringLiteral("1"));
    EXPECT_FALSE(store.readInt(QStringLiteral("p:1"), QStringLiteral("dbID")));
    store.write(QStringLiteral("p:1"), QStringLiteral("dbID"), QStringLiteral("x"));
    EXPECT_FALSE(store.readInt(QStringLiteral("p:1"), QStringLiteral("dbID")));
    store.writeInt(QStringLiteral("p:1"), QStringLiteral("dbID"), 41);
    EXPECT_EQ(store.readInt(QStringLiteral("p:1"), QStringLiteral("dbID")), 41);
}

TEST(SettingsStore, MoveSectionOverwritesAndErasesTheOld) {
    QTemporaryDir dir;
    SettingsStore store(dir.path() + QStringLiteral("/Vexmoor.ini"));
    store.write(QStringLiteral("a:1"), QStringLiteral("Password"), QStringLiteral("x"));
    store.write(QStringLiteral("a:1"), QStringLiteral("Log"), QStringLiteral("1"));
    store.write(QStringLiteral("b:2"), QStringLiteral("Password"), QStringLiteral("old"));
    store.MoveSection(QStringLiteral("a:1"), QStringLiteral("b:2"));
    EXPECT_EQ(store.sections(), QStringList{QStringLiteral("b:2")});
    EXPECT_EQ(store.read(QStringLiteral("b:2"), QStringLiteral("Password")), QStringLiteral("x"));
    EXPECT_EQ(store.read(QStringLiteral("b:2"), QStringLiteral("Log")), QStringLiteral("1"));
}

TEST(SettingsStore, MoveSectionOntoItselfKeepsIt) {
    QTemporaryDir dir;
    SettingsStore store(dir.path() + QStringLiteral("/Vexmoor.ini"));
    store.write(QStringLiteral("Host:1"), QStringLiteral("Password"), QStringLiteral("x"));
    // Only the letter case differs: the same section in the file.
    store.MoveSection(QStringLiteral("Host:1"), QStringLiteral("host:1"));
    EXPECT_EQ(store.read(QStringLiteral("host:1"), QStringLiteral("Password")),
              QStringLiteral("x"));
}

TEST(SettingsStore, AFailedWriteIsToldOnceNamingTheFileAndTheRunGoesOn) {
    struct Case {
        const char *name;
        QString file;                  // the settings file, below the temporary directory
        std::function<void()> breakIt; // makes writing fail
        std::function<void()> mendIt;  // makes writing work again
    };
    QTemporaryDir dir;
    const QString readOnly = dir.path() + QStringLiteral("/ro/Vexmoor.ini");
    const QString blocked = dir.path() + QStringLiteral("/blocked/Vexmoor.ini");
    const QString blocker = dir.path() + QStringLiteral("/blocked");
    const Case cases[] = {
        {"read-only file", readOnly, [&] { QFile::setPermissions(readOnly, QFile::ReadOwner); },
         [&] { QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner); }},
        {"no room for the file", blocked,
         [&] {
             QFile::remove(blocked);
             QDir(blocker).removeRecursively();
             QFile f(blocker); // a file where the directory would be
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         },
         [&] {
             QFile::remove(blocker);
             QDir().mkpath(blocker);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::FakeDialogs dialogs;
        SettingsStore store(c.file);
        store.reportFailuresTo(&dialogs);
        store.write(QStringLiteral("Vexmoor"), QStringLiteral("Nick"), QStringLiteral("op"));
        c.breakIt();
        store.write(QStringLiteral("Vexmoor"), QStringLiteral("Nick"), QStringLiteral("boss"));
        store.writeBool(QStringLiteral("Vexmoor"), QStringLiteral("MuteCodes"), true);
        store.eraseSection(QStringLiteral("Vexmoor"));
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].first, platform::Dialogs::Icon::Error);
        EXPECT_TRUE(dialogs.messages[0].second.contains(c.file))
            << qPrintable(dialogs.messages[0].second);
        c.mendIt();
        store.write(QStringLiteral("Vexmoor"), QStringLiteral("Nick"), QStringLiteral("chief"));
        EXPECT_EQ(SettingsStore(c.file).read(QStringLiteral("Vexmoor"), QStringLiteral("Nick")),
                  QStringLiteral("chief"));
        c.breakIt();
        store.write(QStringLiteral("Vexmoor"), QStringLiteral("Nick"), QStringLiteral("x"));
        EXPECT_EQ(dialogs.messages.size(), 2); // failing again after a success is told again
        c.mendIt();
    }
}

TEST(SettingsStore, DelayedWritesAreReadAtOnceAndReachTheFileTogether) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/Vexmoor.ini");
    const QString section = QStringLiteral("10.0.0.1:28001");
    const auto inFile = [&](const QString &key) { return SettingsStore(file).read(section, key); };
    testing_support::FakeDialogs dialogs;
    {
        SettingsStore store(file);
        store.reportFailuresTo(&dialogs);
        store.write(section, QStringLiteral("Password"), QStringLiteral("x")); // at once
        store.setWriteDelay(50);
        for (int id = 1; id <= 100; ++id)
            store.writeCoalesced(section, QStringLiteral("dbID"), QString::number(id));
        EXPECT_EQ(store.readInt(section, QStringLiteral("dbID")), 100);
        EXPECT_EQ(inFile(QStringLiteral("Password")), QStringLiteral("x"));
        EXPECT_EQ(inFile(QStringLiteral("dbID")), QString());
        EXPECT_TRUE(testing_support::waitFor(
            [&] { return inFile(QStringLiteral("dbID")) == QStringLiteral("100"); }));
        // Any other write is an operator's change: it reaches the file at once, and takes
        // what waited with it.
        store.writeCoalesced(section, QStringLiteral("dbID"), QStringLiteral("150"));
        store.writeBool(QStringLiteral("Vexmoor"), QStringLiteral("MuteCodes"), true);
        EXPECT_EQ(SettingsStore(file).read(QStringLiteral("Vexmoor"), QStringLiteral("MuteCodes")),
                  QStringLiteral("1"));
        EXPECT_EQ(inFile(QStringLiteral("dbID")), QStringLiteral("150"));
        store.eraseSection(QStringLiteral("Vexmoor"));
        EXPECT_FALSE(SettingsStore(file).sections().contains(QStringLiteral("Vexmoor")));
        // Inside a batch every write waits; the end of the outermost batch writes them.
        {
            const SettingsStore::Batch outer(store);
            {
                const SettingsStore::Batch inner(store);
                store.write(QStringLiteral("h:1"), QStringLiteral("Password"), QStringLiteral("a"));
            }
            store.write(QStringLiteral("h:2"), QStringLiteral("Password"), QStringLiteral("b"));
            EXPECT_FALSE(SettingsStore(file).sections().contains(QStringLiteral("h:1")));
        }
        EXPECT_EQ(SettingsStore(file).read(QStringLiteral("h:1"), QStringLiteral("Password")),
                  QStringLiteral("a"));
        EXPECT_EQ(SettingsStore(file).read(QStringLiteral("h:2"), QStringLiteral("Password")),
                  QStringLiteral("b"));

        // A delayed write that fails is told once, and the change waits for the next try.
        QFile::setPermissions(file, QFile::ReadOwner);
        store.writeCoalesced(section, QStringLiteral("dbID"), QStringLiteral("101"));
        EXPECT_FALSE(store.flush());
        EXPECT_FALSE(store.flush());
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages[0].second.contains(file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        store.writeCoalesced(section, QStringLiteral("dbID"), QStringLiteral("102"));
    } // the end of the run writes what waits
    EXPECT_EQ(inFile(QStringLiteral("dbID")), QStringLiteral("102"));
    EXPECT_EQ(dialogs.messages.size(), 1);
}
