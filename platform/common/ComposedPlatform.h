// A platform made of one object per service. Backends fill the services once and
// inherit the accessors.
#pragma once

#include "platform/Platform.h"

#include <memory>
#include <utility>

namespace kestrun::platform {

struct PlatformServices {
    std::unique_ptr<ToolHelp> toolHelp;
    std::unique_ptr<Kernel> kernel;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<ServiceManager> services;
    std::unique_ptr<DeviceManager> devices;
    std::unique_ptr<InterfaceTable> interfaces;
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<Shell> shell;
};

// Base is Platform or an interface derived from it.
template <class Base = Platform>
class ComposedPlatform : public Base {
public:
    ToolHelp& toolHelp() override { return *services_.toolHelp; }
    Kernel& kernel() override { return *services_.kernel; }
    Registry& registry() override { return *services_.registry; }
    ServiceManager& services() override { return *services_.services; }
    DeviceManager& devices() override { return *services_.devices; }
    InterfaceTable& interfaces() override { return *services_.interfaces; }
    Desktop& desktop() override { return *services_.desktop; }
    Shell& shell() override { return *services_.shell; }

protected:
    void SetServices(PlatformServices services) { services_ = std::move(services); }
    // Services that refer to something the derived class owns must go first.
    void ReleaseServices() { services_ = {}; }

private:
    PlatformServices services_;
};

}  // namespace kestrun::platform
