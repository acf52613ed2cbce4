#pragma once

#include <QColor>
#include <QWidget>
#include <initializer_list>

class GuiDialogs;
class QPushButton;
class ProfileList;
struct GlobalPrefs;
struct ServerContext;
namespace platform {
class SettingsStore;
}

// What every page of the main window works with: the run's settings, dialogs, global
// preferences (colours, nick, mute), the profiles' shared context and the profile list.
struct TabContext {
    platform::SettingsStore &Settings;
    GuiDialogs &Dialogs;
    GlobalPrefs &Prefs;
    ServerContext &Server;
    ProfileList &Profiles;
};

// One page of the main window. When the displayed profile changes, the window hands each
// page the feature of that profile it drives (none: no profile), before the profile
// attaches, so the page is ready for the view operations that attaching brings.
class Tab : public QWidget {
    Q_OBJECT
public:
    Tab(TabContext &context, QWidget *parent) : QWidget(parent), m_context(context) {}

    // The colour settings in Prefs changed: the page recolours what it draws.
    virtual void applyColors() {}

protected:
    // Gives views the Background and GeneralText colours of prefs.
    static void applyTextColors(const GlobalPrefs &prefs, std::initializer_list<QWidget *> views);
    // A push button of this page with its object name, caption and hint.
    QPushButton *commandButton(const char *name, const QString &text, const QString &hint);

    TabContext &m_context;
};
