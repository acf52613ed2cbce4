#pragma once

#include <QString>

// The part of the window's View that shows the mission list. Every operation has a do-nothing
// default; the window overrides what it draws.
class MissionView {
public:
    virtual ~MissionView() = default;
};
