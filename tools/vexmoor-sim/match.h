#pragma once

// Match generators. The scripted match is a fixed list of lines (same seed, same lines)
// that walks through every report code the script prints during a game; the random match
// makes up one event at a time from the live server state.

#include "gamestate.h"

#include <QString>
#include <QStringList>

#include <random>

namespace sim {

struct MatchConfig {
    quint32 seed = 1;
    int players = 8;      // 1..128, client ids 2049 upwards
    int teams = 2;        // 1..8
    QStringList missions; // empty: the built-in list
    int timeLimitMinutes = 25;
};

// Name, address and gender word of the player who uses client id 2049 + index.
QString simPlayerName(int index);
QString simPlayerAddress(int index);
QString simPlayerGender(int index);

// The whole scripted match. It starts with a mission start, connects every player,
// plays two rounds with every flag and objective code, kills with every weapon number,
// suicides, team kills, team scores, votes, chat and match results, and ends with every
// player disconnecting, so that it can be played again from the start.
QStringList scriptedMatch(const MatchConfig &config);

class RandomMatch {
public:
    explicit RandomMatch(const MatchConfig &config);

    // The lines of the next event, made up from the live state (one to three lines).
    QStringList next(const GameState &state);

private:
    int below(int n) { return n <= 0 ? 0 : int(m_rng() % quint32(n)); }

    MatchConfig m_config;
    std::mt19937 m_rng;
};

} // namespace sim
