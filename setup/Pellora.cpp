// Pellora: the setup hooks the package installer calls around installing and
// removing Kestrun. After either, the local-machine hive is made durable so the
// installation's registry changes survive a restart.
#include "setup/Pellora.h"

#include "platform/common/RegistryStore.h"
#include "setup/SetupMessageBox.h"

#include <exception>

namespace {

using namespace kestrun;

// The first attempt and at most five retries, with no delay between them.
constexpr int kFlushAttempts = 6;

constexpr const char* kInstallCaption = "Dravik Task Manager Install";
constexpr const char* kSaveRegistryText =
    "Save registry after installation (using the Configuration Manager in the Control Panel) or the Remove "
    "Programs entry for the installed program is lost after restart of the system.";

// True when one of the attempts succeeded. The store is made for this call
// alone: the hooks keep no state between calls.
bool FlushLocalMachine()
{
    try {
        const auto registry = platform::CreateRegistryStore(platform::DefaultRegistryPaths());
        for (int attempt = 0; attempt < kFlushAttempts; ++attempt) {
            if (registry->Flush(platform::Hive::LocalMachine)) return true;
        }
    } catch (const std::exception& e) {
        setup::ReportFailure("flushing the registry", e.what());
    }
    return false;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int Install_Init(uint64_t /*parentWindow*/, const char* /*installDir*/)
{
    return 0;
}

// The same code under the removal's name.
__attribute__((visibility("default"))) int Uninstall_Init(uint64_t parentWindow, const char* installDir)
    __attribute__((alias("Install_Init")));

__attribute__((visibility("default"))) int Install_Exit(uint64_t parentWindow, const char* /*installDir*/)
{
    if (!FlushLocalMachine())
        setup::ShowMessageBox(parentWindow, kInstallCaption, kSaveRegistryText, setup::kIconInformation | setup::kOk);
    return 0;
}

// A failed flush after a removal is not worth a word: the program is gone.
__attribute__((visibility("default"))) int Uninstall_Exit(uint64_t /*parentWindow*/, const char* /*installDir*/)
{
    FlushLocalMachine();
    return 0;
}

}  // extern "C"
