#pragma once

#include <memory>

class ProfileList;
namespace platform {
class SettingsStore;
}
namespace web {
class Notifier;
class Source;
} // namespace web

// The webhooks of the profiles: "Notify=URL" (one key per webhook) and
// "NotifyCategories=0,2,..." in a profile section. They hear when the server goes down and
// comes back, every match result and, through the web, every admin action; and every event
// of the chosen categories. Nothing when no profile has a webhook. The source is made when
// there is none yet.
std::unique_ptr<web::Notifier> startNotifications(platform::SettingsStore &settings,
                                                  ProfileList &profiles,
                                                  std::unique_ptr<web::Source> &source);
