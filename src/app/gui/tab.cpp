#include "app/gui/tab.h"

#include "app/core/settings.h"

#include <QPalette>

QColor Tab::colorFromWord(quint32 word) {
    return QColor(int(word & 0xFF), int((word >> 8) & 0xFF), int((word >> 16) & 0xFF));
}

void Tab::applyTextColors(const GlobalPrefs &prefs, std::initializer_list<QWidget *> views) {
    for (QWidget *view : views) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Base, colorFromWord(prefs.Colors[0]));
        palette.setColor(QPalette::Text, colorFromWord(prefs.Colors[1]));
        view->setPalette(palette);
    }
}
