// The live Linux backend. Every path is relative to configurable roots, so
// tests can point it at fixture trees.
#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace kestrun::platform::linux_backend {

struct LinuxRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
    std::string run = "/run";
    std::string etc = "/etc";              // init.d and the rc?.d start links
    std::string dpkg = "/var/lib/dpkg";   // the package database
};

class DpkgIndex;

std::unique_ptr<Platform> CreateLinuxPlatform(const LinuxRoots& roots = {});

// One factory per service, each in the service's own source file.
std::unique_ptr<ToolHelp> CreateLinuxToolHelp(const LinuxRoots& roots);
std::unique_ptr<Kernel> CreateLinuxKernel(const LinuxRoots& roots);
// packages: the package database's index, which the platform builds once and shares.
std::unique_ptr<ServiceManager> CreateLinuxServices(const LinuxRoots& roots, std::shared_ptr<DpkgIndex> packages);
std::unique_ptr<DeviceManager> CreateLinuxDevices(const LinuxRoots& roots);
std::unique_ptr<InterfaceTable> CreateLinuxInterfaces(const LinuxRoots& roots);
std::unique_ptr<Desktop> CreateLinuxDesktop();
std::unique_ptr<Shell> CreateLinuxShell();

}  // namespace kestrun::platform::linux_backend
