// Reads form descriptions onto a root component: creates the child
// components by class name, sets properties by name through the classes'
// reflection tables and binds events to the root's handler methods.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "toolkit/core/ClassInfo.h"
#include "toolkit/core/Component.h"

namespace velmora {

// Reads every description found for root's class chain (classes strictly below baseExclusive, ancestors first) onto root, then sends the loaded notifications. Throws EResourceNotFound("Resource <ClassName> not found") when none exists.
void ReadComponentResources(Component& root, const ClassInfo& baseExclusive);
// Reads one description from bytes onto root, appending to loaded (no notifications sent).
void ReadComponentFromBytes(std::span<const std::uint8_t> data, Component& root, std::vector<Component*>& loaded);
// Pre-scan: the values of the named top-object properties (own entries only, stops before the first child), later descriptions overriding earlier ones. Values are returned as identifier text or integer text.
std::map<std::string, std::string> PrescanRootProperties(const ClassInfo& rootClass, const ClassInfo& baseExclusive, const std::vector<std::string>& names);

// The classes strictly below baseExclusive down to cls, ancestors first.
std::vector<const ClassInfo*> DescriptionClassChain(const ClassInfo& cls, const ClassInfo& baseExclusive);

// Names of the devices that match the running system, most preferred first.
// A device-specific addition to a description is a resource named
// "<ClassName>_<DeviceName>". No devices are defined, so the list is empty.
std::vector<std::string> MatchingDeviceNames();

// Finds a class by name for a child record of root: the classes of root's
// declared fields (root's class first, then its ancestors), then the registry.
// Returns nullptr when neither knows the name.
const ClassInfo* FindComponentClass(const ClassInfo& rootClass, std::string_view className);

}  // namespace velmora
