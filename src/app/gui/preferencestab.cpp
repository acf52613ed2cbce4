#include "app/gui/preferencestab.h"

#include "app/core/settings.h"

PreferencesTab::PreferencesTab(TabContext &context, QWidget *parent) : Tab(context, parent) {}

bool PreferencesTab::muteCodes() const {
    return m_context.Prefs.MuteCodes;
}

void PreferencesTab::enablePreferenceFiles(bool) {}
