#include "dbf/engine.h"

#include "dbf/workarea_p.h"

namespace dbf {

namespace {

TableEngine *currentEngine = nullptr; // nullptr: the default engine

} // namespace

TableEngine::TableEngine() : areas_(std::make_unique<Areas>()) {
    next_ = Registry();
    Registry() = this;
}

TableEngine::~TableEngine() {
    for (TableEngine **link = &Registry(); *link; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
    if (currentEngine == this) currentEngine = nullptr;
}

TableEngine *&TableEngine::Registry() {
    static TableEngine *first = nullptr;
    return first;
}

TableEngine &DefaultEngine() {
    static TableEngine engine;
    return engine;
}

TableEngine &CurrentEngine() {
    return currentEngine ? *currentEngine : DefaultEngine();
}

EngineScope::EngineScope(TableEngine &engine) : previous_(currentEngine) {
    currentEngine = &engine;
}

EngineScope::~EngineScope() {
    currentEngine = previous_;
}

} // namespace dbf
