#pragma once

// Table files for the benchmarks, written directly in the dBASE layout (so that building a
// large table costs no engine time).
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace bench_support {

struct Field {
    std::string name;
    char type;
    int width;
    int decimals;
};

inline std::vector<Field> parse(const char *const *defs, int count) {
    std::vector<Field> fields;
    for (int i = 0; i < count; ++i) {
        const QStringList parts = QString::fromLatin1(defs[i]).split(',');
        fields.push_back({parts[0].toUpper().toStdString(), parts[1][0].toLatin1(),
                          parts[2].toInt(), parts[3].toInt()});
    }
    return fields;
}

// A numeric field's zero as the tables hold it ("0", or "0.00" with two decimals).
inline std::string zero(const Field &f) {
    return f.decimals > 0 ? "0." + std::string(static_cast<std::size_t>(f.decimals), '0') : "0";
}

// The fields of a Players row that the benchmarks' tables fill alike: the name (Player000001
// on), the id, the time and the address; the others zero.
inline std::string playerText(int row, int field, const Field &f) {
    char name[32];
    switch (field) {
    case 0:
        std::snprintf(name, sizeof name, "Player%06d", row + 1);
        return std::string(name);
    case 1:
        return std::to_string(row + 1);
    case 5:
        return std::string("03/06/2024 21:00:00");
    case 6:
        return std::string("IP:10.0.0.1:28001");
    default:
        return zero(f);
    }
}

// The pair on row `row` of a Kills table where each of `players` players (ids from 1) killed
// the next `pairsPerPlayer` players, wrapping round.
struct KillPair {
    int killer;
    int victim;
};

inline KillPair killPair(int row, int players, int pairsPerPlayer) {
    const int killer = row / pairsPerPlayer + 1;
    return {killer, (killer - 1 + row % pairsPerPlayer + 1) % players + 1};
}

// Writes a table file the way dBASE lays it out; value(row, field) gives the field's text.
template <typename Value>
void writeTable(const QString &path, const std::vector<Field> &fields, int rows, Value value) {
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    int recLen = 1;
    for (const Field &d : fields)
        recLen += d.width;
    std::vector<unsigned char> header(32 + 32 * fields.size() + 1, 0);
    header[0] = 3;
    std::memcpy(&header[4], &rows, 4);
    const int headerLength = static_cast<int>(header.size());
    header[8] = headerLength & 0xFF;
    header[9] = headerLength >> 8;
    header[10] = recLen & 0xFF;
    header[11] = recLen >> 8;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        unsigned char *d = &header[32 + 32 * i];
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        d[11] = static_cast<unsigned char>(fields[i].type);
        d[16] = static_cast<unsigned char>(fields[i].width);
        d[17] = static_cast<unsigned char>(fields[i].decimals);
    }
    header.back() = 0x0D;
    std::fwrite(header.data(), 1, header.size(), f);
    std::vector<char> record(static_cast<std::size_t>(recLen) + 64);
    for (int r = 0; r < rows; ++r) {
        char *p = record.data();
        *p++ = ' ';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const Field &d = fields[i];
            const std::string text = value(r, static_cast<int>(i));
            if (d.type == 'C')
                std::snprintf(p, static_cast<std::size_t>(d.width) + 1, "%-*s", d.width,
                              text.c_str());
            else
                std::snprintf(p, static_cast<std::size_t>(d.width) + 1, "%*s", d.width,
                              text.c_str());
            p += d.width;
        }
        std::fwrite(record.data(), 1, static_cast<std::size_t>(recLen), f);
    }
    std::fputc(0x1A, f);
    std::fclose(f);
}

// Connect reports of `connected` players from client id 2049 on, named as in playerText.
inline std::vector<QString> connectLines(int connected) {
    std::vector<QString> lines;
    for (int i = 0; i < connected; ++i)
        lines.push_back(QStringLiteral("\"C\"%1\"Player%2\"IP:10.0.0.1:1\"Male\"")
                            .arg(2049 + i)
                            .arg(i + 1, 6, 10, QLatin1Char('0')));
    return lines;
}

// Kill reports among `connected` players from client id 2049 on: each killer meets the next
// player, with one of the 14 weapons.
inline std::vector<QString> killLines(int connected) {
    std::vector<QString> lines;
    for (int i = 0; i < connected; ++i)
        lines.push_back(QStringLiteral("\"K\"%1\"%2\"%3\"1\"")
                            .arg(2049 + i)
                            .arg(2049 + (i + 1) % connected)
                            .arg(i % 14));
    return lines;
}

} // namespace bench_support
