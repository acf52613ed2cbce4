#include "stats/statistics.h"

#include "session/server.h"

Statistics::Statistics(TVexmoorServer &server) : Server(server) {}
Statistics::~Statistics() = default;

void Statistics::CreateTables() {}
void Statistics::OpenTables() {}
void Statistics::CloseTables() {}
void Statistics::CloseOutConnections() {}
void Statistics::CommitTables() {}
