// The live Linux backend. Every path is relative to configurable roots, so
// tests can point it at fixture trees.
#pragma once

#include "platform/Platform.h"
#include "platform/common/KeySource.h"

#include <memory>
#include <string>

namespace kestrun::platform::linux_backend {

struct LinuxRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
    std::string run = "/run";
    std::string etc = "/etc";              // init.d and the rc?.d start links
    std::string dpkg = "/var/lib/dpkg";   // the package database
    std::string doc = "/usr/share/doc";   // each package's copyright file
};

class DpkgIndex;

std::unique_ptr<Platform> CreateLinuxPlatform(const LinuxRoots& roots = {});

// One factory per service, each in the service's own source file.
std::unique_ptr<ToolHelp> CreateLinuxToolHelp(const LinuxRoots& roots);
std::unique_ptr<Kernel> CreateLinuxKernel(const LinuxRoots& roots);
// packages: the package database's index, which the platform builds once and shares.
std::unique_ptr<ServiceManager> CreateLinuxServices(const LinuxRoots& roots, std::shared_ptr<DpkgIndex> packages);
// The device manager and the machine registry's device keys share one table of the devices found.
class SysfsDeviceTable;
std::shared_ptr<SysfsDeviceTable> CreateSysfsDeviceTable(const LinuxRoots& roots);
std::unique_ptr<DeviceManager> CreateLinuxDevices(std::shared_ptr<SysfsDeviceTable> table);
// Read-only keys of the local machine hive under "/sys/": the device keys the device manager reports.
std::shared_ptr<KeySource> CreateLinuxDeviceKeys(std::shared_ptr<SysfsDeviceTable> table);
std::unique_ptr<InterfaceTable> CreateLinuxInterfaces(const LinuxRoots& roots);
std::unique_ptr<Desktop> CreateLinuxDesktop();
// packages: the package index for system files and version strings (may be
// null); docRoot: where each package's copyright file lies.
std::unique_ptr<Shell> CreateLinuxShell(std::shared_ptr<DpkgIndex> packages = nullptr, std::string docRoot = "/usr/share/doc");

}  // namespace kestrun::platform::linux_backend
