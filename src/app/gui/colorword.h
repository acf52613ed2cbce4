#pragma once

#include <QColor>

// Colours are stored as 32-bit words 0x00BBGGRR (red in the lowest byte).
inline QColor fromColorWord(quint32 word) {
    return QColor(int(word & 0xFF), int((word >> 8) & 0xFF), int((word >> 16) & 0xFF));
}

inline quint32 toColorWord(const QColor &color) {
    return quint32(color.red()) | quint32(color.green()) << 8 | quint32(color.blue()) << 16;
}
