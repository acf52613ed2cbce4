#pragma once

#include "admin/preferencesview.h"
#include "app/gui/tab.h"

#include <QHash>
#include <QList>
#include <QVariant>
#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class ColorPanel;
class Missions;
class Preferences;

// The "Preferences" page: the server variables of the displayed profile and their buttons,
// the missions path, the script file, "Mute Vexmoor Codes" and the colour panels.
//
// Only an operator's change reaches the server: a field remembers its value when it gains
// focus and acts on leaving only when the value differs; a server check box sends only after
// a mouse press on it (its click marker), so the page's own updates send nothing.
class PreferencesTab : public Tab, public PreferencesView {
    Q_OBJECT
public:
    explicit PreferencesTab(TabContext &context, QWidget *parent = nullptr);

    // The displayed profile's server variables and missions (none: a blank page).
    void setPreferences(Preferences *prefs, Missions *missions);
    // Takes the colours and the mute switch from the global preferences.
    void applyColors() override;

    // The mode button: bulb glyph and caption "Active Mode" / "Passive Mode".
    void showServerMode(bool active);

    // PreferencesView
    void showPreferences(const PreferencesPage &page) override;

    // The operator's actions.
    void Button_ServerModeClick();
    void Button_RefreshClick();
    void Button_LoadPreferencesClick();
    void Button_SavePreferencesClick();
    void Button_MissionsPathClick();
    void Display_MuteCodesClick(bool checked);
    // The colour dialog for one panel (index into the colour settings).
    void GetAColor(int color);

signals:
    // A colour panel changed a colour of Prefs; every page recolours.
    void colorsChanged();
    // The operator clicked the mode button (the window flips the profile's mode).
    void serverModeClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A field that remembers its value on gaining focus and acts on leaving.
    struct Field {
        QWidget *widget;
        std::function<QVariant()> value;
        std::function<void(const QVariant &remembered)> exit;
    };
    void addField(QWidget *widget, std::function<QVariant()> value,
                  std::function<void(const QVariant &)> exit);
    const Field *fieldOf(const QObject *widget) const;
    void checkBoxToggled(QCheckBox *box, int index, bool checked);

    QList<Field> m_fields;
    QHash<const QObject *, QVariant> m_remembered;
    QHash<const QObject *, bool> m_clickMarker;

    QLineEdit *m_hostName;
    QSpinBox *m_hostPort;
    QPlainTextEdit *m_hostInfo;
    QPlainTextEdit *m_joinMOTD;
    QLineEdit *m_clientPassword;
    QList<QSpinBox *> m_numbers;     // in the order of the page's number table
    QList<QCheckBox *> m_checkBoxes; // in the order of the page's check box table
    QLineEdit *m_missionsPath;
    QToolButton *m_missionsPathButton;
    QLineEdit *m_vexmoorScript;
    QCheckBox *m_muteCodes;
    std::array<ColorPanel *, 10> m_colorPanels{};
    QToolButton *m_serverMode;
    QPushButton *m_refresh;
    QPushButton *m_loadPreferences;
    QPushButton *m_savePreferences;
    Preferences *m_prefs = nullptr;
    Missions *m_missions = nullptr;
};
