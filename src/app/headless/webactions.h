#pragma once

#include <memory>

class ProfileList;
namespace web {
class ActionTarget;
}

// The web's admin actions over the profiles of a run, composed by the profiles' own admin
// commands, preferences and missions. It must be destroyed before the profiles.
std::unique_ptr<web::ActionTarget> makeProfileActions(ProfileList &profiles);
