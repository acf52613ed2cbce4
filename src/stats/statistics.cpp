#include "stats/statistics.h"

#include "session/server.h"

Statistics::Statistics(TVexmoorServer &server) : Server(server) {}
Statistics::~Statistics() = default;

void Statistics::RecordConnect(int) {}
void Statistics::RecordDisconnect(int) {}
void Statistics::RecordKill(int, int, bool, const QString &) {}
void Statistics::RecordMissionEvent(int, const QString &, const QString &) {}
void Statistics::RecordScore(int, int) {}
void Statistics::RecordMatchResult(const QList<int> &) {}
void Statistics::CreateTables() {}
void Statistics::UpdateTablePaths() {}
void Statistics::OpenTables() {}
void Statistics::CloseTables() {}
void Statistics::CloseOutConnections() {}
void Statistics::CommitTables() {}
