// The one builder of outgoing console text: literals, the marker, the line end and the
// echo test.
#include "session/consolecommand.h"

#include <gtest/gtest.h>

namespace {

struct LiteralCase {
    const char16_t *text;
    const char16_t *literal;
};

TEST(ConsoleCommand, LiteralsHoldAnyTextInOneStringOnOneLine) {
    const LiteralCase cases[] = {
        {u"Raindance", u"\"Raindance\""},
        {u"", u"\"\""},
        {u"say \"hi\"", u"\"say \\\"hi\\\"\""},
        {u"C:\\games\\", u"\"C:\\\\games\\\\\""},
        // The injection of a mission name stays inside its literal.
        {u"B\";$Server::Password=\"owned\";$y=\"",
         u"\"B\\\";$Server::Password=\\\"owned\\\";$y=\\\"\""},
        {u"a\nb\tc\rd\x1b[2Je\x7f", u"\"a\\nb\\tc\\x0Dd\\x1B[2Je\\x7F\""},
        {u"Überfall é", u"\"Überfall é\""},
    };
    for (const LiteralCase &c : cases) {
        const QString text = QString::fromUtf16(c.text);
        const QString literal = console::literal(text);
        EXPECT_EQ(literal, QString::fromUtf16(c.literal)) << qPrintable(text);
        // What the builder makes is a well-formed body, and re-normalising changes nothing.
        const QString body = literal.mid(1, literal.size() - 2);
        EXPECT_TRUE(console::isLiteralBody(body)) << qPrintable(body);
        EXPECT_EQ(console::normalizedLiteralBody(body), body);
    }
}

TEST(ConsoleCommand, EscapedTextsAreNormalisedToWellFormedBodies) {
    const LiteralCase cases[] = {
        {u"Say 'hi'\\nC:\\\\games", u"Say 'hi'\\nC:\\\\games"}, // the preferences' escaped form
        {u"a\\b", u"a\\\\b"},                                   // a stray backslash is doubled
        {u"end\\", u"end\\\\"},                                 // also at the end
        {u"q\"x", u"q\\\"x"},                                   // a bare quote is escaped
        {u"\\x41\\x4", u"\\x41\\\\x4"},                         // only complete hex escapes stay
        {u"tab\tcr\r", u"tab\\tcr\\x0D"},
    };
    for (const LiteralCase &c : cases) {
        const QString in = QString::fromUtf16(c.text);
        const QString out = console::normalizedLiteralBody(in);
        EXPECT_EQ(out, QString::fromUtf16(c.literal)) << qPrintable(in);
        EXPECT_TRUE(console::isLiteralBody(out));
    }
    for (const char16_t *bad : {u"a\"b", u"a\\b", u"end\\", u"x\\x4", u"line\nend", u"\x1b[0m"})
        EXPECT_FALSE(console::isLiteralBody(QString::fromUtf16(bad)))
            << qPrintable(QString::fromUtf16(bad));
}

TEST(ConsoleCommand, CommandsEndInTheMarkerAndStayOneLine) {
    EXPECT_EQ(console::command(QStringLiteral("ListPlayers();")),
              QStringLiteral("ListPlayers(); //VX\n"));
    EXPECT_EQ(console::command(QStringLiteral("a();\nb();\r")),
              QStringLiteral("a(); b();  //VX\n"));
    EXPECT_EQ(console::plainLine(QStringLiteral("pass\nword")), QStringLiteral("pass word\n"));
    // The echo of a command arrives trimmed and is recognised; other lines are not.
    EXPECT_TRUE(console::isEcho(QStringLiteral("ListPlayers(); //VX")));
    EXPECT_TRUE(console::isEcho(QStringLiteral("x//VX")));
    EXPECT_FALSE(console::isEcho(QStringLiteral("//VX is a name")));
    EXPECT_FALSE(console::isEcho(QStringLiteral("Executing game.cs.")));
}

} // namespace
