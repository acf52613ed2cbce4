#pragma once

#include <QString>

// The part of the window's View that shows the activity figures and chart. Every operation has a
// do-nothing default; the window overrides what it draws.
class ActivityView {
public:
    virtual ~ActivityView() = default;
};
