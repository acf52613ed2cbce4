#pragma once

class TVexmoorServer;

// Turns game reports into state changes, statistics calls and event sentences. Each handler
// reads the fields of the current report line from its profile.
class GameEvents {
public:
    explicit GameEvents(TVexmoorServer &server) : Server(server) {}

    void Connected();         // "C"
    void Disconnected();      // "D"
    void TeamChange();        // "A"
    void ReportPlayerEvent(); // flag and objective codes
    void Kill();              // "K" and "T"
    void MissionStart();      // "M"
    void MatchResult();       // "S"
    void Vote();              // "V"

private:
    TVexmoorServer &Server;
};
