// The simulated device's shell: its files' attributes and version strings, and
// help requests (recorded; no viewer runs).
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <cerrno>

namespace kestrun::platform::sim {

namespace {

class SimShell final : public Shell {
public:
    explicit SimShell(SimDevice& device) : device_(device) {}

    std::optional<FileInfo> GetFileInfo(const std::wstring& path) override
    {
        if (device_.Fails(SimCall::FileInfo)) return std::nullopt;
        const SimFile* file = device_.FindFile(path);
        if (file == nullptr) { Fail(ENOENT); return std::nullopt; }
        return file->info;
    }

    std::optional<VersionInfo> GetVersionInfo(const std::wstring& path) override
    {
        if (device_.Fails(SimCall::VersionInfo)) return std::nullopt;
        const SimFile* file = device_.FindFile(path);
        if (file == nullptr) { Fail(ENOENT); return std::nullopt; }
        if (!file->version) { Fail(ENODATA); return std::nullopt; }  // no version resource
        return file->version;
    }

    std::optional<Image> GetFileSmallIcon(const std::wstring& path, int side) override
    {
        const SimFile* file = device_.FindFile(path);
        if (file == nullptr || !file->iconColor || side <= 0) { Fail(ENOENT); return std::nullopt; }
        return MakeSimIcon(*file->iconColor, side);
    }

    bool HelpViewerAvailable() override { return true; }

    bool StartHelpViewer(const std::wstring& helpFile, const std::wstring& anchor) override
    {
        if (device_.Fails(SimCall::HelpViewer)) return false;
        device_.helpRequests.emplace_back(helpFile, anchor);
        return true;
    }

private:
    SimDevice& device_;
};

}  // namespace

std::unique_ptr<Shell> CreateSimShell(SimDevice& device) { return std::make_unique<SimShell>(device); }

}  // namespace kestrun::platform::sim
