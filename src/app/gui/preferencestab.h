#pragma once

#include "admin/preferencesview.h"
#include "app/gui/tab.h"

// The "Preferences" page: server variables and their buttons, missions path, script file,
// colour panels and "Mute Vexmoor Codes".
class PreferencesTab : public Tab, public PreferencesView {
    Q_OBJECT
public:
    explicit PreferencesTab(TabContext &context, QWidget *parent = nullptr);

    bool muteCodes() const;
    // Load/Save preference buttons.
    void enablePreferenceFiles(bool on);

signals:
    // A colour panel changed a colour of Prefs; every page recolours.
    void colorsChanged();
};
