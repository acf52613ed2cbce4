#pragma once

#include <QString>
#include <QtGlobal>

namespace platform {

// Message and input boxes. The window shows real modal boxes; the headless companion
// prints and declines; tests answer them. The choosers decline unless a front end
// implements them.
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

    // The colour chooser, opened on color (0x00BBGGRR): true with the chosen colour when
    // the operator confirms; color is left alone otherwise.
    virtual bool chooseColor(quint32 & /*color*/) { return false; }
    // A file to open: caption, name filter ("Mission Lists (*.vxm)"), and the file name that
    // is pre-selected and receives the choice. True when a file was chosen.
    virtual bool openFileName(const QString & /*caption*/, const QString & /*filter*/,
                              QString & /*fileName*/) {
        return false;
    }
    // A file to save: like openFileName; a name typed without an extension gets
    // defaultExtension ("vxm", without the dot).
    virtual bool saveFileName(const QString & /*caption*/, const QString & /*filter*/,
                              const QString & /*defaultExtension*/, QString & /*fileName*/) {
        return false;
    }
    // The folder chooser with a title, opened on dir: true with the chosen directory's full
    // path, false when the operator cancels.
    virtual bool chooseFolder(const QString & /*title*/, QString & /*dir*/) { return false; }
};

} // namespace platform
