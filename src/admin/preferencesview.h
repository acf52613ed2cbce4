#pragma once

#include <QString>

class TVexmoorServer;

// The part of the window's View that shows the server preferences page. Every operation
// has a do-nothing default; the window overrides what it draws.
class PreferencesView {
public:
    virtual ~PreferencesView() = default;
    // Copies the profile's cached variables, missions path and script file into the page.
    virtual void ShowPreferences(const TVexmoorServer & /*server*/) {}
};
