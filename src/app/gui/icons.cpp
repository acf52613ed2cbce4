#include "app/gui/icons.h"

#include <QPainter>

namespace {
QIcon load(const char *name) {
    return QIcon(QStringLiteral(":/vexmoor/icons/%1.svg").arg(QLatin1String(name)));
}
} // namespace

namespace Icons {

#define VEXMOOR_ICON(function, file)                                                               \
    QIcon function() {                                                                             \
        static const QIcon icon = load(file);                                                      \
        return icon;                                                                               \
    }
VEXMOOR_ICON(lightOn, "light_on")
VEXMOOR_ICON(lightOff, "light_off")
VEXMOOR_ICON(bulbOn, "bulb_on")
VEXMOOR_ICON(bulbOff, "bulb_off")
VEXMOOR_ICON(flag, "flag")
VEXMOOR_ICON(app, "vexmoor")
VEXMOOR_ICON(addServer, "add")
VEXMOOR_ICON(editServer, "edit")
VEXMOOR_ICON(removeServer, "remove")
#undef VEXMOOR_ICON

QPixmap banner(qreal devicePixelRatio) {
    const QSize size(360, 90);
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    load("banner").paint(&painter, QRect(QPoint(0, 0), size));
    return pixmap;
}

} // namespace Icons
