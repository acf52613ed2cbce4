#pragma once

#include <QString>
#include <QtGlobal>

namespace platform {

// Message and input boxes. The window shows real modal boxes; the headless companion
// prints and declines; tests answer them.
class Dialogs {
public:
    enum class Icon { Error, Warning, Information };
    virtual ~Dialogs() = default;
    // A box with a single OK button.
    virtual void message(Icon icon, const QString &text) = 0;
    // A question with the buttons Yes and Abort: true only for Yes.
    virtual bool confirm(const QString &text) = 0;
    // An input query (caption, prompt, pre-filled text): true with the text on OK.
    virtual bool inputQuery(const QString &caption, const QString &prompt, QString &text) = 0;
    // The system beep.
    virtual void beep() {}

    // File choosers. filter is "Description|*.ext"; defaultExt is added to a name typed
    // without one. fileName holds the suggestion and, on true, the chosen path. Opening
    // accepts only an existing file; saving asks before overwriting. Declined by default.
    virtual bool openFile(const QString & /*filter*/, const QString & /*defaultExt*/,
                          QString & /*fileName*/) {
        return false;
    }
    virtual bool saveFile(const QString & /*filter*/, const QString & /*defaultExt*/,
                          QString & /*fileName*/) {
        return false;
    }
    // A folder chooser with a title; folder holds the start and, on true, the choice.
    virtual bool chooseFolder(const QString & /*title*/, QString & /*folder*/) { return false; }
    // The colour chooser, opened with color (0x00BBGGRR); on true, color holds the choice.
    virtual bool chooseColor(quint32 & /*color*/) { return false; }
};

} // namespace platform
