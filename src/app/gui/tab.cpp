#include "app/gui/tab.h"

#include "app/core/settings.h"
#include "app/gui/colorword.h"

#include <QPalette>
#include <QPushButton>

QPushButton *Tab::commandButton(const char *name, const QString &text, const QString &hint) {
    auto *button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    return button;
}

void Tab::applyTextColors(const GlobalPrefs &prefs, std::initializer_list<QWidget *> views) {
    for (QWidget *view : views) {
        QPalette palette = view->palette();
        setEnabledColor(palette, QPalette::Base, fromColorWord(prefs.Colors[0]));
        setEnabledColor(palette, QPalette::Text, fromColorWord(prefs.Colors[1]));
        view->setPalette(palette);
    }
}
