// Where the fixture trees lie: tests/fixtures of the source tree that the build
// names in KESTRUN_SOURCE_DIR (or run-test.sh in the environment).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrun::testing {

inline std::string FixturePath(const std::string& relative)
{
#ifdef KESTRUN_SOURCE_DIR
    const std::filesystem::path source = KESTRUN_SOURCE_DIR;
#else
    const char* variable = std::getenv("KESTRUN_SOURCE_DIR");
    const std::filesystem::path source = variable != nullptr ? variable : ".";
#endif
    return (source / "tests" / "fixtures" / relative).lexically_normal().string();
}

}  // namespace kestrun::testing
