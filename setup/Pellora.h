// Pellora's setup hooks, as the package's maintainer scripts call them through
// kestrun-setup-hooks. Every hook takes the parent window (an X11 window id, 0
// for none) and the installation directory, which it ignores; every hook returns 0.
#pragma once

#include <cstdint>

extern "C" {

using PelloraHook = int (*)(uint64_t parentWindow, const char* installDir);

int Install_Init(uint64_t parentWindow, const char* installDir);
int Install_Exit(uint64_t parentWindow, const char* installDir);
int Uninstall_Init(uint64_t parentWindow, const char* installDir);
int Uninstall_Exit(uint64_t parentWindow, const char* installDir);

}  // extern "C"
