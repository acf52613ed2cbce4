#include "eventlog/speechengine.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double NormalSpeed = 175.0;
}

double speechRate(int speed) {
    // The field has no limits: zero and negative speeds are the slowest rate.
    if (speed <= 0) return -1.0;
    return std::clamp(std::log2(speed / NormalSpeed), -1.0, 1.0);
}
