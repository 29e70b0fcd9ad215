// Choosing a backend: the one place that knows them all. The backends and the
// code they share (platform/common) sit below it and know none but their own.
#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace kestrun::platform {

// Builds the backend named by spec ("linux", "sim", "sim:PATH"); on failure
// returns null and puts a one-line reason in error.
std::unique_ptr<Platform> CreatePlatform(const std::string& spec, std::string& error);

// The backend named by KESTRUN_PLATFORM (default "linux").
std::unique_ptr<Platform> CreatePlatformFromEnvironment(std::string& error);

}  // namespace kestrun::platform
