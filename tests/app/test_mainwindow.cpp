// The main window over stored profiles (offscreen).
#include "app/gui/mainwindow.h"
#include "simserver.h"
#include "support/guitestsupport.h"
#include "support/testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

TEST(MainWindow, WithoutProfilesEverythingIsOff) {
    TempEnv env;
    TVexmoor window(*env.settings);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vexmoor"));
    EXPECT_EQ(child<QComboBox>(window, "ServerList")->count(), 0);
    EXPECT_FALSE(child<QComboBox>(window, "ServerList")->isEnabled());
    EXPECT_FALSE(child<QToolButton>(window, "Button_Connect")->isEnabled());
    EXPECT_TRUE(child<QToolButton>(window, "Button_AddServer")->isEnabled());
    EXPECT_EQ(child<QLabel>(window, "StatusPanel0")->text(), QStringLiteral("Offline"));
    EXPECT_EQ(window.CurrentServer, nullptr);
}

TEST(MainWindow, TheLastStoredProfileIsDisplayed) {
    TempEnv env;
    env.settings->write(QStringLiteral("10.0.0.1:28001"), QStringLiteral("Password"),
                        QStringLiteral("a"));
    env.settings->write(QStringLiteral("notes"), QStringLiteral("x"), QStringLiteral("y"));
    env.settings->write(QStringLiteral("10.0.0.2:28002"), QStringLiteral("Password"),
                        QStringLiteral("b"));
    TVexmoor window(*env.settings);
    auto *list = child<QComboBox>(window, "ServerList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentIndex(), 1);
    ASSERT_NE(window.CurrentServer, nullptr);
    EXPECT_EQ(window.CurrentServer->section(), QStringLiteral("10.0.0.2:28002"));
    EXPECT_EQ(window.CurrentServer->View, &window);
    EXPECT_TRUE(child<QToolButton>(window, "Button_Connect")->isEnabled());
    EXPECT_EQ(child<QLabel>(window, "StatusPanel1")->text(), QStringLiteral("10.0.0.2:28002"));
    // Switching the displayed profile detaches the other.
    TVexmoorServer *second = window.CurrentServer;
    list->setCurrentIndex(0);
    EXPECT_EQ(second->View, nullptr);
    EXPECT_EQ(window.CurrentServer->View, &window);
}

TEST(MainWindow, ConsoleLinesOfTheDisplayedProfile) {
    TempEnv env;
    env.settings->write(QStringLiteral("h:1"), QStringLiteral("Password"), QStringLiteral("a"));
    TVexmoor window(*env.settings);
    window.CurrentServer->ClassifyLine(QStringLiteral("server says hello"));
    window.CurrentServer->ClassifyLine(QStringLiteral("Vexmoor_GetTeams(); //VX"));
    // Shown when the event loop runs next.
    EXPECT_TRUE(waitFor([&] {
        return child<QTextEdit>(window, "Console")->toPlainText() ==
               QStringLiteral("server says hello");
    }));
}

TEST(MainWindow, ConnectButtonShowsLiveConsoleOutput) {
    TempEnv env;
    sim::SimServer server;
    ASSERT_TRUE(server.listen());
    const QString section = QStringLiteral("127.0.0.1:") + QString::number(server.port());
    env.settings->write(section, QStringLiteral("Password"), QStringLiteral("secret"));
    TVexmoor window(*env.settings);
    auto *connectButton = child<QToolButton>(window, "Button_Connect");
    auto *console = child<QTextEdit>(window, "Console");
    connectButton->click();
    ASSERT_TRUE(waitFor(
        [&] { return child<QLabel>(window, "StatusPanel0")->text() == QStringLiteral("Online"); }));
    // The preferences report arrives and is shown as a report line.
    EXPECT_TRUE(waitFor([&] {
        return console->toPlainText().contains(QStringLiteral("\"Q\"0\"Vexmoor Test Server\""));
    }));
    EXPECT_FALSE(console->toPlainText().contains(QStringLiteral("//VX")));
    EXPECT_FALSE(child<QToolButton>(window, "Button_EditServer")->isEnabled());
    // A free command typed into the command line reaches the server without the marker.
    auto *commandLine = child<QLineEdit>(window, "Edit1");
    commandLine->setText(QStringLiteral("echo(\"typed\");"));
    QMetaObject::invokeMethod(commandLine, "returnPressed");
    EXPECT_TRUE(waitFor(
        [&] { return server.receivedCommands().contains(QStringLiteral("echo(\"typed\");")); }));
    EXPECT_TRUE(commandLine->text().isEmpty());
    connectButton->click();
    EXPECT_TRUE(waitFor([&] {
        return child<QLabel>(window, "StatusPanel0")->text() == QStringLiteral("Offline");
    }));
    EXPECT_TRUE(child<QToolButton>(window, "Button_EditServer")->isEnabled());
    EXPECT_FALSE(window.CurrentServer->ReconnectPending);
}

} // namespace
