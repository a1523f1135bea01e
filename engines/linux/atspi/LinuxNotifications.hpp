#pragma once
// AT-SPI events in the caller's notification vocabulary ("AXValueChanged"...).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AtSpiTypes.hpp"

namespace halcy::LinuxNotifications {

// The notification an event stands for; none for events the caller has no name for.
// sourceRole and sourceStates are those of the element the event is about, when known.
std::optional<std::string_view> notificationName(const AtSpiEvent& event,
                                                 AtSpiRole sourceRole = AtSpiRole::invalid,
                                                 AtSpiStates sourceStates = {});

// The event types to register with the registry so that applications send what the table maps.
const std::vector<std::string>& listenedEvents();
// Only those that can stand for one of the given notifications.
std::vector<std::string> eventsFor(const std::vector<std::string_view>& notifications);

// "StateChanged" on "org.a11y.atspi.Event.Object" is kind "object", member "state-changed".
std::optional<std::string> eventKind(std::string_view interface);
std::string eventMember(std::string_view signalMember);

}  // namespace halcy::LinuxNotifications
