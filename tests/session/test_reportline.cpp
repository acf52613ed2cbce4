#include "session/reportline.h"

#include <gtest/gtest.h>

namespace {

ReportFields split(const QString &line) {
    ReportFields f;
    SplitFields(line, QLatin1Char('"'), f);
    return f;
}

TEST(SplitFields, ConnectRecordAndTrailingText) {
    for (const QString &line : {QStringLiteral("\"C\"2050\"Bob\"10.0.0.2\"Female\""),
                                QStringLiteral("\"C\"2050\"Bob\"10.0.0.2\"Female\"junk after")}) {
        const ReportFields f = split(line);
        EXPECT_EQ(f.FieldCount, 5);
        EXPECT_EQ(f[0], QStringLiteral("C"));
        EXPECT_EQ(f[1], QStringLiteral("2050"));
        EXPECT_EQ(f[2], QStringLiteral("Bob"));
        EXPECT_EQ(f[3], QStringLiteral("10.0.0.2"));
        EXPECT_EQ(f[4], QStringLiteral("Female"));
        EXPECT_EQ(f.code(), QLatin1Char('C'));
    }
}

TEST(SplitFields, EmptyFieldsCount) {
    const ReportFields f = split(QStringLiteral("\"K\"2050\"2050\"\"0\""));
    EXPECT_EQ(f.FieldCount, 5);
    EXPECT_TRUE(f[3].isEmpty());
    EXPECT_EQ(f[4], QStringLiteral("0"));
}

TEST(SplitFields, EarlierLinesNeverLeakIntoLaterOnes) {
    ReportFields f;
    SplitFields(QStringLiteral("\"1\"2050\"Bob\"addr\"0\"5\"Male\""), QLatin1Char('"'), f);
    SplitFields(QStringLiteral("\"D\"2050\""), QLatin1Char('"'), f);
    EXPECT_EQ(f.FieldCount, 2);
    EXPECT_TRUE(f[2].isEmpty());
    EXPECT_TRUE(f.Fields[2].isEmpty());
    // A line without a complete field leaves no code behind.
    SplitFields(QStringLiteral("\"X"), QLatin1Char('"'), f);
    EXPECT_EQ(f.FieldCount, 0);
    EXPECT_TRUE(f.code().isNull());
}

TEST(SplitFields, KeepsTheFirst21Fields) {
    QString line = QStringLiteral("\"S\"");
    for (int i = 1; i < 30; ++i)
        line += QString::number(i) + QLatin1Char('"');
    const ReportFields f = split(line);
    EXPECT_EQ(f.FieldCount, ReportFields::MaxFields);
    EXPECT_EQ(f[20], QStringLiteral("20"));
    EXPECT_TRUE(f[21].isEmpty());
}

TEST(SplitFields, OtherSeparatorOrNoLeadingSeparatorChangesNothing) {
    ReportFields f = split(QStringLiteral("\"B\"1\"5\""));
    EXPECT_FALSE(SplitFields(QStringLiteral("B\"1\""), QLatin1Char('"'), f));
    EXPECT_EQ(f.FieldCount, 3);
    EXPECT_TRUE(SplitFields(QStringLiteral("|a|b|"), QLatin1Char('|'), f));
    EXPECT_EQ(f.FieldCount, 2);
}

TEST(Conversions, IntegersNeedTheWholeField) {
    int v = 0;
    EXPECT_TRUE(parseInt(QStringLiteral("  -12"), v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(parseInt(QStringLiteral("+7"), v));
    EXPECT_EQ(v, 7);
    for (const char *bad : {"", " ", "-", "12 ", "1x", "0x10", "99999999999", "١٢"})
        EXPECT_FALSE(parseInt(QString::fromUtf8(bad), v)) << bad;
    EXPECT_EQ(leadingInt(QStringLiteral("42abc")), 42);
    EXPECT_EQ(leadingInt(QStringLiteral("abc")), 0);
}

TEST(Conversions, ClientIdsSelectTheSlots) {
    int id = 0;
    EXPECT_TRUE(parseClientId(QStringLiteral("2049"), id));
    EXPECT_TRUE(parseClientId(QStringLiteral("2176"), id));
    EXPECT_FALSE(parseClientId(QStringLiteral("2048"), id));
    EXPECT_FALSE(parseClientId(QStringLiteral("2177"), id));
    EXPECT_FALSE(parseClientId(QStringLiteral("20a0"), id));
}

TEST(Conversions, TrimControlRemovesCodesUpTo32) {
    EXPECT_EQ(trimControl(QStringLiteral("\r\n\t \x01 Executing game.cs. \r")),
              QStringLiteral("Executing game.cs."));
    EXPECT_EQ(trimControl(QStringLiteral(" \r\n ")), QString());
}

} // namespace
