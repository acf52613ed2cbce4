// Error reporting of the DBF table engine.
//
// Every engine failure goes through one routine, RaiseError(code, message). It stores the code
// and the message as the last error and, when immediate reporting is on, reports them:
//
//   1. an installed error handler is called (and nothing else happens), otherwise, for a code
//      other than 0, the full text "Error # <code> (<description>)\r\n<message>" is built;
//   2. in exceptions mode an ERedadError carrying the code and the full text is thrown;
//   3. otherwise (halting mode) the halt handler shows the text under the caption
//      "Program halted." (default: written to standard error), CloseAll() runs and the process
//      exits with the error code (the operating system keeps its low 8 bits).
//
// With immediate reporting off the caller inspects LastErrorCode()/LastErrorMessage() itself.
// Commands that move the cursor, change data, open/close tables or select a work area clear the
// last error when they start (ClearError()).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace dbf {

// Codes used by the engine itself (operating-system file errors are reported with their
// DOS-style numbers 2, 3, 5, 32 ...).
enum ErrorCodes : int {
    kErrNone = 0,
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrTooManyFiles = 4,
    kErrAccessDenied = 5,
    kErrSharingViolation = 32,
    kErrLockViolation = 33,
    kErrDiskRead = 100,
    kErrDiskWrite = 101,
    kErrNotDbase = 210,
    kErrFieldType = 211,
    kErrRange = 212,
    kErrUnexpectedEof = 213,
    kErrNoDatabase = 215,
    kErrInvalidParameter = 220,
    kErrInternal = 254,
    kErrInvalidSize = 266,
    kErrLinkedList = 1100,
    kErrInvalidOperation = 1103,
    kErrRecordNotLocked = 1200,
    kErrFileNotLocked = 1201,
};

// The exception of exceptions mode. what() is the full text "Error # ...".
class ERedadError : public std::runtime_error {
public:
    ERedadError(int code, const std::string &fullText)
        : std::runtime_error(fullText), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// Description of an error code ("Request beyond range" for 212, "Undefined error" if unknown).
std::string ErrorDescription(int code);

// "Error # " + code + " (" + description + ")" + "\r\n" + message.
std::string FullErrorText(int code, const std::string &message);

// The one reporting routine (see the top of this file). Returns normally unless an exception
// is thrown or the process halts.
void RaiseError(int code, const std::string &message);

// Last error state.
int LastErrorCode();
const std::string &LastErrorMessage();
void ClearError();

// Immediate reporting (default on).
void SetImmediateReporting(bool on);
bool ImmediateReporting();

// RAII: switches immediate reporting off (or on) for a scope and restores the previous setting.
class ReportingScope {
public:
    explicit ReportingScope(bool on = false) : saved_(ImmediateReporting()) {
        SetImmediateReporting(on);
    }
    ~ReportingScope() { SetImmediateReporting(saved_); }
    ReportingScope(const ReportingScope &) = delete;
    ReportingScope &operator=(const ReportingScope &) = delete;

private:
    bool saved_;
};

// Installable error handler: called with the code and the plain message instead of the
// exception/halt. Pass an empty function to remove it.
using ErrorHandler = std::function<void(int code, const std::string &message)>;
void SetErrorHandler(ErrorHandler handler);

// Exceptions mode (default off = halting mode).
void SetExceptionsMode(bool on);
bool ExceptionsMode();

// Message box of the halting mode: caption "Program halted." and the full text. The GUI
// installs a modal box; the default writes both to standard error. Pass an empty function to
// restore the default.
using HaltHandler = std::function<void(const std::string &caption, const std::string &text)>;
void SetHaltHandler(HaltHandler handler);

// Plain information messages of the engine (the field-definition correction message, ...).
// The GUI installs an information box; the default writes the text to standard error.
using InfoHandler = std::function<void(const std::string &text)>;
void SetInfoHandler(InfoHandler handler);
void ShowInfoMessage(const std::string &text);

// Maps an errno value of a failed file call to the engine's DOS-style code (ENOENT -> 2,
// ENOTDIR -> 3, EACCES/EPERM/EROFS -> 5, EMFILE/ENFILE -> 4, EAGAIN/EWOULDBLOCK -> 32 ...).
int ErrnoToCode(int err);

} // namespace dbf
