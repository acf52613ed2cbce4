#include "dbf/dbferror.h"

#include "dbf/engine.h"
#include "dbf/workarea.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>

namespace dbf {

namespace {

// The program's own handlers and the halt sequence; the error mode is the current engine's.
struct ProcessState {
    bool halting = false; // inside the halt sequence
    HaltHandler halt;
    InfoHandler info;
};

ProcessState &Process() {
    static ProcessState state;
    return state;
}

TableEngine::Errors &State() {
    return CurrentEngine().errors();
}

const char *const kNetwork[] = {"Unsupported network request",
                                "Remote machine not listening",
                                "Duplicate name on network",
                                "Network name not found",
                                "Network busy",
                                "Device no longer exists on network",
                                "Net-Bios command limit exceeded",
                                "Error in network adapter hardware",
                                "Incorrect response from network",
                                "Unexpected network error",
                                "Remote adapter incompatible"};

const char *const kRuntime[] = {"Division by zero error",        "Range check error",
                                "Stack overflow error",          "Heap overflow error",
                                "Invalid pointer operation",     "Floating point overflow",
                                "Floating point underflow",      "Invalid floating point operation",
                                "Overlay-manager not installed", "Overlay file read error"};

const char *const kTime[] = {"Missing colon in time", "Non-numeric character in time",
                             "Invalid time specified", "Negative time specified",
                             "TimeDiff result negative"};

const char *Describe(int code) {
    switch (code) {
    case 1:
        return "Invalid DOS function code";
    case 2:
        return "File not found";
    case 3:
        return "Path not found";
    case 4:
    case 18:
        return "Too many open files";
    case 5:
        return "File access denied";
    case 6:
        return "Invalid file handle";
    case 8:
        return "Not enough memory";
    case 9:
        return "Memory block address invalid";
    case 10:
        return "Environment invalid";
    case 11:
        return "Format invalid";
    case 12:
        return "Invalid file access code";
    case 13:
        return "Data invalid";
    case 14:
    case 20:
    case 151:
        return "Unknown unit";
    case 15:
        return "Invalid drive number";
    case 16:
        return "Cannot remove current directory";
    case 17:
        return "Cannot rename across drives";
    case 19:
    case 150:
        return "Disk write-protected";
    case 21:
    case 152:
        return "Drive not ready";
    case 22:
    case 153:
        return "Unknown command";
    case 23:
    case 154:
        return "CRC error in data";
    case 24:
    case 155:
        return "Bad drive request structure length";
    case 25:
    case 156:
        return "Disk seek error";
    case 26:
    case 157:
        return "Unknown media type";
    case 27:
    case 158:
        return "Disk sector not found";
    case 28:
    case 159:
        return "Printer out of paper";
    case 29:
    case 160:
        return "Device write fault";
    case 30:
    case 161:
        return "Device read fault";
    case 31:
        return "General failure";
    case 32:
    case 162:
        return "File sharing violation";
    case 33:
        return "File lock violation";
    case 34:
        return "Disk change invalid";
    case 35:
        return "File Control Block unavailable";
    case 36:
        return "File sharing buffer overflow";
    case 100:
        return "Disk read error";
    case 101:
        return "Disk write error (probable cause: Disk Full).";
    case 102:
        return "File not assigned";
    case 103:
        return "File not open";
    case 104:
        return "File not open for input";
    case 105:
        return "File not open for output";
    case 106:
        return "Invalid numeric format";
    case 210:
        return "Not a dBASE data file";
    case 211:
        return "Invalid database field type encountered";
    case 212:
        return "Request beyond range";
    case 213:
        return "End of file found unexpectedly";
    case 214:
        return "File already in use";
    case 215:
        return "No database in use";
    case 216:
        return "GP Fault";
    case 217:
        return "Insufficient memory";
    case 218:
        return "Invalid pointer specified";
    case 219:
        return "Cannot duplicate file handle";
    case 220:
        return "Invalid parameter";
    case 221:
        return "Index file not open";
    case 222:
        return "Corrupted index file";
    case 223:
        return "Index version mismatch";
    case 224:
        return "Cyclical relationship detected";
    case 225:
        return "Exclusive Use() required";
    case 226:
        return "BROWSE not active";
    case 227:
        return "Insufficient disk space ";
    case 228:
        return "Unbalanced Push/Pop operation ";
    case 229:
        return "dBASE IV memo files not supported";
    case 230:
        return "No dBASE memory variables loaded";
    case 231:
        return "Screen library not open";
    case 254:
        return "Redad internal error";
    case 266:
        return "Invalid size";
    case 1003:
        return "Invalid memo address";
    case 1004:
        return "Disk full";
    case 1005:
        return "Memo file write error";
    case 1007:
        return "Memo file is already open";
    case 1012:
        return "Insufficient disk space to pack memo file";
    case 1017:
        return "Cannot lock memo file";
    case 1018:
        return "Cannot unlock memo file";
    case 1019:
        return "Invalid memo operation: database not open or no memo field in database";
    case 1100:
        return "Not a valid operation on Linked List";
    case 1101:
        return "Virtual File Manager Unit not Linked in";
    case 1102:
        return "Virtual File Memory Management Error";
    case 1103:
        return "Invalid Operation ";
    case 1200:
        return "Record not locked";
    case 1201:
        return "File not locked";
    case 1202:
        return "Semaphore file error. Possible solutions: log into network or load SHARE.EXE "
               "before running Windows";
    default:
        break;
    }
    if (code >= 50 && code <= 60) return kNetwork[code - 50];
    if (code >= 200 && code <= 209) return kRuntime[code - 200];
    if (code >= 239 && code <= 243) return kTime[code - 239];
    if (code >= 1203 && code <= 1299) return "Network Error";
    if (code == 1300) return "File format not supported";
    return "Undefined error";
}

} // namespace

std::string ErrorDescription(int code) {
    return Describe(code);
}

std::string FullErrorText(int code, const std::string &message) {
    return "Error # " + std::to_string(code) + " (" + Describe(code) + ")" + "\r\n" + message;
}

void RaiseError(int code, const std::string &message) {
    TableEngine::Errors &s = State();
    s.code = code;
    s.message = message;
    if (!s.immediate || Process().halting) return;
    if (s.handler) {
        s.handler(code, message);
        return;
    }
    if (code == 0) return;
    const std::string text = FullErrorText(code, message);
    if (s.exceptions) throw ERedadError(code, text);
    ProcessState &p = Process();
    p.halting = true;
    if (p.halt) {
        p.halt("Program halted.", text);
    } else {
        std::cerr << "Program halted.\n" << text << std::endl;
    }
    // The tables of every engine still get their header updates before the process ends.
    TableEngine::ForEach([](TableEngine &engine) {
        EngineScope scope(engine);
        CloseAll();
    });
    std::exit(code);
}

int LastErrorCode() {
    return State().code;
}
const std::string &LastErrorMessage() {
    return State().message;
}
void ClearError() {
    State().code = 0;
    State().message.clear();
}

void SetImmediateReporting(bool on) {
    State().immediate = on;
}
bool ImmediateReporting() {
    return State().immediate;
}
void SetErrorHandler(ErrorHandler handler) {
    State().handler = std::move(handler);
}
void SetExceptionsMode(bool on) {
    State().exceptions = on;
}
bool ExceptionsMode() {
    return State().exceptions;
}
void SetHaltHandler(HaltHandler handler) {
    Process().halt = std::move(handler);
}
void SetInfoHandler(InfoHandler handler) {
    Process().info = std::move(handler);
}

void ShowInfoMessage(const std::string &text) {
    if (Process().info) {
        Process().info(text);
    } else {
        std::cerr << text << std::endl;
    }
}

int ErrnoToCode(int err) {
    switch (err) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return 5;
    case EBADF:
        return 6;
    case ENOMEM:
        return 8;
    case EAGAIN:
        return 32;
    case ENOSPC:
        return 101;
    case EIO:
        return 100;
    default:
        return err > 0 && err < 100 ? 31 : err;
    }
}

} // namespace dbf
