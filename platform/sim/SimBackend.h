// The services of the simulated device, one factory per source file.
#pragma once

#include "platform/Platform.h"
#include "platform/sim/SimDevice.h"

#include <memory>

namespace kestrun::platform::sim {

std::unique_ptr<ToolHelp> CreateSimToolHelp(SimDevice& device);
std::unique_ptr<Kernel> CreateSimKernel(SimDevice& device);
// userStore holds the current user hive (except the device's in-memory keys); null: it lives in memory.
std::unique_ptr<Registry> CreateSimRegistry(SimDevice& device, std::unique_ptr<Registry> userStore);
// The services' settings keys are read through registry, the device's registry.
std::unique_ptr<ServiceManager> CreateSimServices(SimDevice& device, Registry& registry);
std::unique_ptr<DeviceManager> CreateSimDevices(SimDevice& device);
std::unique_ptr<InterfaceTable> CreateSimInterfaces(SimDevice& device);
std::unique_ptr<Desktop> CreateSimDesktop(SimDevice& device);
// A side x side icon: the colour inside a dark frame.
Image MakeSimIcon(uint32_t color, int side);
std::unique_ptr<Shell> CreateSimShell(SimDevice& device);

}  // namespace kestrun::platform::sim
