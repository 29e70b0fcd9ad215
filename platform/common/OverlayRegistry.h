// A registry whose hives are a store with read-only key sources laid over
// parts of them: a key a source owns is answered by the source, every other
// key by the store.
#pragma once

#include "platform/Registry.h"
#include "platform/common/KeySource.h"

#include <memory>
#include <vector>

namespace kestrun::platform {

struct KeyOverlay {
    Hive hive = Hive::LocalMachine;
    std::shared_ptr<KeySource> source;
};

std::unique_ptr<Registry> CreateOverlayRegistry(std::unique_ptr<Registry> store, std::vector<KeyOverlay> overlays);

}  // namespace kestrun::platform
