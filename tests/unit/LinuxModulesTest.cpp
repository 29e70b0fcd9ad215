// Modules on the live machine: a process's modules with the number of
// processes that map each one, and the executable itself among them.
#include "platform/LastError.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

TEST(LinuxModules, AModuleTwoProcessesMapCountsBothAndTheProgramIsAModule)
{
    const pid_t child = ::fork();  // maps the same program and libraries
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    LinuxRoots roots;
    auto toolHelp = CreateLinuxToolHelp(roots);
    const auto modules = toolHelp->CreateSnapshot(kSnapModule, static_cast<uint32_t>(::getpid()));
    const auto childModules = toolHelp->CreateSnapshot(kSnapModule, static_cast<uint32_t>(child));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(modules);
    ASSERT_TRUE(childModules);
    const std::wstring self = Widen(fs::read_symlink("/proc/self/exe").string());
    const ModuleEntry* program = nullptr;
    for (const ModuleEntry& module : modules->modules)
        if (module.exePath == self) program = &module;
    ASSERT_NE(program, nullptr) << "the executable is one of its modules";
    EXPECT_GE(program->globalUsage, 2u) << "this process and its child";
    EXPECT_EQ(program->processUsage, 1u);
    EXPECT_EQ(program->moduleName, Widen(fs::path(Narrow(self)).filename().string()));
    bool inChild = false;
    for (const ModuleEntry& module : childModules->modules) inChild = inChild || module.moduleId == program->moduleId;
    EXPECT_TRUE(inChild) << "one id for one file in every process";
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
