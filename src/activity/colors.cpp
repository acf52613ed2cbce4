#include "activity/colors.h"

#include <algorithm>

namespace colors {

quint32 fromChannels(int red, int green, int blue) {
    const auto limit = [](int v) { return static_cast<quint32>(std::clamp(v, 0, 255)); };
    return limit(red) | limit(green) << 8 | limit(blue) << 16;
}

} // namespace colors

quint32 ContrastingShade(quint32 c) {
    // Relative luminance with the sRGB weights, in extended precision, truncated.
    const long double l =
        0.212671L * colors::red(c) + 0.71516L * colors::green(c) + 0.072169L * colors::blue(c);
    return static_cast<long long>(l) <= 128 ? 0xFFFFFFu : 0u;
}

quint32 AdjustColor(quint32 c, quint32 d) {
    return colors::fromChannels(colors::red(c) + colors::red(d),
                                colors::green(c) + colors::green(d),
                                colors::blue(c) + colors::blue(d));
}

quint32 ScaleColor(quint32 c, double f) {
    // Truncated toward zero; limited before the conversion, so any factor is defined.
    const auto scale = [f](int channel) {
        const double v = f * channel;
        if (!(v > 0)) return 0;
        return v >= 255 ? 255 : static_cast<int>(v);
    };
    return colors::fromChannels(scale(colors::red(c)), scale(colors::green(c)),
                                scale(colors::blue(c)));
}
