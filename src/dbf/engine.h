// Table engine instances.
//
// An engine is one set of 33 work areas with its current work area, its settings (deleted
// records hidden, table language) and its own error mode (last error, immediate reporting,
// exceptions or halting mode, error handler). The work-area commands (workarea.h) and the error
// routines (dbferror.h) act on the current engine: the process's default engine, unless an
// EngineScope has made another one current for a while. A program with one set of tables (the
// command-line tool) only ever uses the default engine; a program that keeps several sets
// apart (one per profile) gives each set an engine of its own and enters it around every use.
//
// The halt handler and the information handler are the program's and stay process-wide.
// Everything runs on one thread.
#pragma once

#include "dbf/dbferror.h"

#include <memory>
#include <string>

namespace dbf {

class TableEngine {
public:
    TableEngine();
    // Drops the tables still open without writing them (their owners close them first).
    ~TableEngine();
    TableEngine(const TableEngine &) = delete;
    TableEngine &operator=(const TableEngine &) = delete;

    // The error mode of this engine (dbferror.h works on the current engine's).
    struct Errors {
        int code = 0;
        std::string message;
        bool immediate = true;
        bool exceptions = false;
        ErrorHandler handler;
    };
    Errors &errors() { return errors_; }

    // The work areas and settings; laid out in workarea.cpp.
    struct Areas;
    Areas &areas() { return *areas_; }

    // Calls fn for every engine alive, e.g. to close every table before the process halts.
    template <typename Fn> static void ForEach(Fn &&fn);

private:
    static TableEngine *&Registry();
    Errors errors_;
    std::unique_ptr<Areas> areas_;
    TableEngine *next_ = nullptr; // the registry of live engines, a list
};

// The engine of a program that has only one.
TableEngine &DefaultEngine();
// The engine the work-area commands act on now.
TableEngine &CurrentEngine();

// Makes an engine current for a scope and restores the one before at its end. Scopes nest.
class EngineScope {
public:
    explicit EngineScope(TableEngine &engine);
    ~EngineScope();
    EngineScope(const EngineScope &) = delete;
    EngineScope &operator=(const EngineScope &) = delete;

private:
    TableEngine *previous_;
};

template <typename Fn> void TableEngine::ForEach(Fn &&fn) {
    for (TableEngine *e = Registry(); e; e = e->next_)
        fn(*e);
}

} // namespace dbf
