#pragma once

#include "app/gui/tab.h"

// The "About" page: banner, version, release date and the distribution notice.
class AboutTab : public Tab {
    Q_OBJECT
public:
    explicit AboutTab(TabContext &context, QWidget *parent = nullptr);
};
