#include "session/framer.h"

#include <gtest/gtest.h>

namespace {

QStringList feedAll(LineFramer &f, const QList<QByteArray> &chunks) {
    QStringList lines;
    for (const QByteArray &c : chunks)
        lines += f.feed(c);
    return lines;
}

TEST(LineFramer, CutsAtLineFeedsAndKeepsCarriageReturns) {
    LineFramer f;
    EXPECT_EQ(f.feed("one\r\ntwo\n\nthree"),
              (QStringList{QStringLiteral("one\r"), QStringLiteral("two"), QString()}));
    EXPECT_TRUE(f.hasRemainder());
    EXPECT_EQ(f.takeRemainder(), QStringLiteral("three"));
    EXPECT_FALSE(f.hasRemainder());
}

// Every split of a stream into two reads gives the same lines as one read.
TEST(LineFramer, EverySplitOffsetGivesTheSameLines) {
    const QByteArray stream = "\"C\"2050\"Bob\"10.0.0.2:1234\"Male\"\r\n"
                              "SAY: 2050 hello ~ there\n"
                              "\"K\"2050\"2051\"3\"1\"\r\n"
                              "Executing game.cs.\n";
    LineFramer whole;
    const QStringList expected = whole.feed(stream);
    ASSERT_EQ(expected.size(), 4);
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        LineFramer f;
        EXPECT_EQ(feedAll(f, {stream.left(cut), stream.mid(cut)}), expected) << "cut at " << cut;
        EXPECT_FALSE(f.hasRemainder());
    }
}

TEST(LineFramer, ByteByByteDelivery) {
    const QByteArray stream = "\"M\"Raindance\"1200\"\nabc\n";
    LineFramer f;
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes.append(QByteArray(1, c));
    EXPECT_EQ(feedAll(f, bytes),
              (QStringList{QStringLiteral("\"M\"Raindance\"1200\""), QStringLiteral("abc")}));
}

TEST(LineFramer, OverlongLinesAreBounded) {
    LineFramer f;
    const QByteArray big(LineFramer::MaxLine * 2 + 10, 'x');
    const QStringList lines = f.feed(big);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].size(), LineFramer::MaxLine);
    EXPECT_EQ(f.takeRemainder().size(), 10);
}

TEST(LineFramer, EightBitTextSurvivesTheRoundTrip) {
    QByteArray bytes;
    for (int c = 1; c < 256; ++c)
        if (c != '\n') bytes.append(static_cast<char>(c));
    LineFramer f;
    f.feed(bytes);
    EXPECT_EQ(LineFramer::encode(f.takeRemainder()), bytes);
}

} // namespace
