#pragma once

#include <QIcon>

class QPainter;
class QRectF;

// The small pictures of the Server page, drawn as vectors so they stay crisp at any scale.
namespace serverglyphs {

// The flag a player carries, filling the square r.
void paintFlag(QPainter &painter, const QRectF &r);
// The mode button's bulb: lit in active mode, dark in passive mode.
QIcon bulb(bool on);

} // namespace serverglyphs
