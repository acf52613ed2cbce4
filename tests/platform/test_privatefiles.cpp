// Files the program writes are private and never reached through a planted link; files it
// reads from others are read only when they are regular files, and only up to a limit.
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/privatefile.h"
#include "session/server.h"
#include "support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

using namespace testing_support;

namespace {

QByteArray contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

int modeOf(const QString &path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 0777);
}

bool isLink(const QString &path) {
    return QFileInfo(path).isSymLink();
}

// Each writer of the program, with a link planted where it writes: the link's target keeps
// its contents.
TEST(PrivateFiles, PlantedLinksAreNeverWrittenThrough) {
    ProfileFixture fx;
    TVexmoorServer &p = *fx.profile;
    const QString target = fx.env.path() + QStringLiteral("/target");
    struct Writer {
        const char *what;
        QString planted;
        std::function<void()> write;
        bool replacesLink; // the file is replaced by a private one; else the write is refused
    };
    const QString settingsFile = fx.env.path() + QStringLiteral("/config/vexmoor/Vexmoor.ini");
    const Writer writers[] = {
        {"events.log", p.eventLog().logFilePath(),
         [&] {
             p.eventLog().SetLogToFile(true);
             p.eventLog().LogEvent(QStringLiteral("Kim joined"), QString(), 2);
         },
         false},
        {"vxtemp.vxp", p.prefs().restoreFileName(),
         [&] {
             p.prefs().Vars.ClientPassword = QStringLiteral("joinpw");
             EXPECT_TRUE(p.prefs().SavePreferenceFile(p.prefs().restoreFileName()));
         },
         true},
        {"activity", p.activity().fileName(), [&] { EXPECT_TRUE(p.activity().SaveActivity()); },
         true},
        {"the settings file's old temporary name", settingsFile + QStringLiteral(".new"),
         [&] {
             fx.env.settings->write(QStringLiteral("x:1"), QStringLiteral("Password"),
                                    QStringLiteral("console-secret"));
         },
         false},
        {"the settings file", settingsFile,
         [&] {
             fx.env.settings->write(QStringLiteral("x:1"), QStringLiteral("Password"),
                                    QStringLiteral("console-secret"));
         },
         true},
    };
    for (const Writer &w : writers) {
        SCOPED_TRACE(w.what);
        {
            QFile t(target);
            ASSERT_TRUE(t.open(QIODevice::WriteOnly | QIODevice::Truncate));
            t.write("keep");
        }
        QFile::remove(w.planted);
        ASSERT_TRUE(QFile::link(target, w.planted));
        w.write();
        EXPECT_EQ(contents(target), QByteArray("keep"));
        EXPECT_EQ(modeOf(target) & 077, 0644 & 077); // nor was its mode changed
        if (w.replacesLink) {
            EXPECT_FALSE(isLink(w.planted));
            EXPECT_EQ(modeOf(w.planted), 0600);
        }
        QFile::remove(w.planted);
    }
    // Nothing is left beside the settings file.
    fx.env.settings->write(QStringLiteral("x:1"), QStringLiteral("Password"), QStringLiteral("pw"));
    const QStringList left =
        QDir(fx.env.path() + QStringLiteral("/config/vexmoor")).entryList(QDir::Files);
    EXPECT_EQ(left, QStringList{QStringLiteral("Vexmoor.ini")});
}

TEST(PrivateFiles, ProfileDirectoriesAndTheRestoreFileArePrivate) {
    ProfileFixture fx;
    TVexmoorServer &p = *fx.profile;
    EXPECT_EQ(modeOf(p.directory()), 0700);
    EXPECT_EQ(modeOf(platform::dataDir()), 0700);
    p.eventLog().SetLogToFile(true);
    EXPECT_EQ(modeOf(p.eventLog().logFilePath()), 0600);
    ASSERT_TRUE(p.prefs().SavePreferenceFile(p.prefs().restoreFileName()));
    EXPECT_EQ(modeOf(p.prefs().restoreFileName()), 0600);
    // A directory an earlier version made 0755 becomes private when the profile starts.
    ProfileFixture other(QStringLiteral("10.0.0.9"), 28009);
    const QString dir = other.profile->directory();
    other.profile.reset();
    ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0755), 0);
    other.profile = std::make_unique<TVexmoorServer>(
        QStringLiteral("pw"), QStringLiteral("10.0.0.9"), 28009, other.context);
    EXPECT_EQ(modeOf(dir), 0700);
}

// A FIFO, a device and a link to a device are refused at once (no open ever waits); a
// regular file is read up to the limit, and a link only when links are allowed.
TEST(PrivateFiles, OnlyRegularFilesAreReadAndOnlyUpToTheLimit) {
    TempEnv env;
    const QString dir = env.path();
    const QString fifo = dir + QStringLiteral("/fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir + QStringLiteral("/zero");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString file = dir + QStringLiteral("/file");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("0123456789");
    }
    const QString link = dir + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(file, link));

    QElapsedTimer clock;
    clock.start();
    QByteArray data;
    bool truncated = true;
    for (const QString &refused : {fifo, zero, QStringLiteral("/dev/null"), dir})
        EXPECT_FALSE(platform::readRegularFile(refused, {1024}, data)) << qPrintable(refused);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(platform::readRegularFile(file, {1024}, data, &truncated));
    EXPECT_EQ(data, QByteArray("0123456789"));
    EXPECT_FALSE(truncated);
    EXPECT_TRUE(platform::readRegularFile(file, {4}, data, &truncated));
    EXPECT_EQ(data, QByteArray("0123"));
    EXPECT_TRUE(truncated);
    EXPECT_TRUE(platform::readRegularFile(file, {10}, data, &truncated));
    EXPECT_FALSE(truncated);
    EXPECT_TRUE(platform::readRegularFile(link, {1024}, data));
    EXPECT_FALSE(platform::readRegularFile(link, {1024, false}, data));
}

} // namespace
