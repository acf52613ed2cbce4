#pragma once

#include <memory>

class ProfileList;
namespace web {
class Source;
}

// The web's read interface over the profiles of a run. It must be destroyed before the
// profiles.
std::unique_ptr<web::Source> makeProfileSource(ProfileList &profiles);
