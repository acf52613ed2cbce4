// The Qt speech back end, where this machine has a Qt speech engine with a voice.
#include "platform/speech/qtspeechengine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

namespace {

TEST(QtSpeechEngineTest, ListsVoicesAndSelectsOnlyExistingOnes) {
    auto engine = platform::QtSpeechEngine::create();
    if (!engine) GTEST_SKIP() << "no Qt speech engine with a voice on this machine";
    const QStringList names = engine->engineNames();
    ASSERT_FALSE(names.isEmpty());
    EXPECT_FALSE(engine->selectEngine(0));
    EXPECT_FALSE(engine->selectEngine(static_cast<int>(names.size()) + 1));
    EXPECT_TRUE(engine->selectEngine(1));
    EXPECT_TRUE(engine->selectEngine(static_cast<int>(names.size())));
    for (const QString &name : names)
        EXPECT_FALSE(name.isEmpty());
}

TEST(QtSpeechEngineTest, SpeaksAndStops) {
    auto engine = platform::QtSpeechEngine::create();
    if (!engine) GTEST_SKIP() << "no Qt speech engine with a voice on this machine";
    QStringList errors;
    engine->onError = [&](const QString &text) { errors.append(text); };
    ASSERT_TRUE(engine->selectEngine(1));
    engine->setSpeed(350);
    engine->setSpeed(-20);
    engine->setSpeed(175);
    engine->speak(QStringLiteral("test"));
    // Without an audio device the engine reports an error instead of speaking; either way
    // it must come back to rest after a stop.
    engine->stop();
    QDeadlineTimer deadline(3000);
    while (engine->speaking() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(engine->speaking()) << qPrintable(errors.join(QLatin1Char('\n')));
}

} // namespace
