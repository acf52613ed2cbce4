#pragma once

#include <QString>

// The part of the window's View that shows players and teams. Every operation has a do-nothing
// default; the window overrides what it draws.
class RosterView {
public:
    virtual ~RosterView() = default;
};
