#pragma once

// Report lines as the server-side script prints them: every field is followed by a
// double quote and the line itself starts with one, e.g. "K"2049"2050"4"1"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <random>

namespace sim {

// Joins fields into a report line. A double quote inside a field would end the field
// early on the reading side, so it is replaced by an apostrophe.
QString formatReport(const QStringList &fields);

// Splits a report line into its fields; text after the last quote is dropped.
// Returns an empty list for a line that does not start with a quote.
QStringList parseReport(const QString &line);

// Escaped form of a multi-line text as the script reports it and as the admin tool
// sends it: backslash doubled, carriage return removed, double quote to apostrophe,
// line feed to backslash-n.
QString escapeText(const QString &text);

// Reads a console string literal body (between the quotes): backslash-n, backslash-t,
// backslash-quote and double backslash are unescaped; any other backslash stays.
QString unescapeLiteral(const QString &body);

// Cuts text into pieces for separate writes: every line (with its line end) is cut once
// at a random offset inside it, so a piece is the tail of one line and the head of the
// next. Lines of one byte are not cut. The pieces join back to the text.
QList<QByteArray> cutLines(const QByteArray &bytes, std::mt19937 &rng);

} // namespace sim
