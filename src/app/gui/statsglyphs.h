#pragma once

// Glyphs of the Stats page, drawn as vector shapes so they stay crisp at any scale.

#include <QIcon>
#include <QPixmap>

// The recording switch's bulb: lit (recording on) or dark. `size` in device-independent pixels.
QPixmap bulbPixmap(bool lit, int size = 20, qreal devicePixelRatio = 1.0);
// The bulb at 1x and 2x.
QIcon bulbIcon(bool lit);
