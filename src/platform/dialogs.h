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
    // A colour chooser preset with color (0x00BBGGRR): true with the chosen colour when the
    // operator confirms. Without a chooser the colour stays as it is.
    virtual bool chooseColor(quint32 & /*color*/) { return false; }
};

} // namespace platform
