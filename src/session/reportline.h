#pragma once

#include <QString>
#include <array>

// The fields of one report line: "F0"F1"..."Fn" — a leading double quote, each field
// followed by a double quote. Text after the last double quote is not a field.
struct ReportFields {
    static constexpr int MaxFields = 21;

    std::array<QString, MaxFields> Fields;
    int FieldCount = 0;

    // Field i, or an empty text for a field the line did not fill.
    const QString &operator[](int i) const;
    // The code letter: the first character of field 0, or 0 when there is none.
    QChar code() const;
};

// Fills fields from line when the line starts with separator; fields the line does not
// fill are empty, and fields beyond MaxFields are dropped. Returns false (and leaves fields
// untouched) when the line does not start with separator.
bool SplitFields(const QString &line, QChar separator, ReportFields &fields);

// Removes leading and trailing characters with codes 0..32.
QString trimControl(const QString &text);

// A signed decimal integer: optional leading blanks, optional sign, digits, nothing after.
bool parseInt(const QString &text, int &value);
// A decimal number with a period (optional blanks around it); false when not a number.
bool parseDecimal(const QString &text, double &value);
// The value of the leading digits (after optional blanks and sign), 0 when there are none.
int leadingInt(const QString &text);
// A client id that selects a player slot: 2049..2176.
constexpr int FirstClientId = 2049;
constexpr int MaxPlayers = 128;
bool isClientId(int id);
// A report field that must hold a client id; false when it is not an integer in range.
bool parseClientId(const QString &text, int &id);
