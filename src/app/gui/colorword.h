#pragma once

#include <QColor>
#include <QPalette>

// Colours are stored as 32-bit words 0x00BBGGRR (red in the lowest byte).
inline QColor fromColorWord(quint32 word) {
    return QColor(int(word & 0xFF), int((word >> 8) & 0xFF), int((word >> 16) & 0xFF));
}

inline quint32 toColorWord(const QColor &color) {
    return quint32(color.red()) | quint32(color.green()) << 8 | quint32(color.blue()) << 16;
}

// Sets a colour setting for the enabled states only: a disabled control keeps the style's
// disabled look, so that it never looks typeable.
inline void setEnabledColor(QPalette &palette, QPalette::ColorRole role, const QColor &color) {
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
}
