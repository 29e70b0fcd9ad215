// The settings keys of the services as a registry holds them: the subkeys of
// "Services" under the local machine hive.
#pragma once

#include "platform/Registry.h"
#include "platform/Services.h"

#include <memory>

namespace kestrun::platform {

std::unique_ptr<ServiceKeys> CreateRegistryServiceKeys(Registry& registry);

}  // namespace kestrun::platform
