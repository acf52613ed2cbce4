#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own glyphs, drawn from vector images in the resources so that they stay
// crisp at any scale. Each call returns a shared, cached icon.
namespace Icons {
QIcon lightOn();  // connection open (connect button)
QIcon lightOff(); // connection closed
QIcon bulbOn();   // a switch that is on (mode button, statistics Enable button)
QIcon bulbOff();  // a switch that is off
QIcon flag();     // a player who carries a flag
QIcon app();      // window and tray icon
QIcon addServer();
QIcon editServer();
QIcon removeServer();
// The About page's banner at its natural size (360 x 90), for a device pixel ratio.
QPixmap banner(qreal devicePixelRatio = 1.0);
} // namespace Icons
