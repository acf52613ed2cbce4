#pragma once

#include <QtGlobal>

// Colour words are 0x00BBGGRR: red in the lowest byte, then green, then blue.
namespace colors {

constexpr int red(quint32 c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int green(quint32 c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int blue(quint32 c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
// Each channel limited to 0..255.
quint32 fromChannels(int red, int green, int blue);

} // namespace colors

// White (0xFFFFFF) for dark colours, black for light ones: the caption colour on c.
quint32 ContrastingShade(quint32 c);
// Channel by channel c + d, limited to 255.
quint32 AdjustColor(quint32 c, quint32 d);
// Channel by channel f x channel, truncated, limited to 0..255.
quint32 ScaleColor(quint32 c, double f);
