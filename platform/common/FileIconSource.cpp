#include "platform/Shell.h"

namespace kestrun::platform {

namespace {
std::unique_ptr<FileIconSource> g_source;
}  // namespace

void InstallFileIconSource(std::unique_ptr<FileIconSource> source) { g_source = std::move(source); }

FileIconSource* InstalledFileIconSource() { return g_source.get(); }

}  // namespace kestrun::platform
