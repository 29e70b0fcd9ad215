#include "pages/core/AppServices.h"

#include <cassert>

namespace kestrun {

namespace {
AppServices* g_services = nullptr;
}

AppServices& App()
{
    assert(g_services != nullptr);
    return *g_services;
}

void SetAppServices(AppServices* services) { g_services = services; }

}  // namespace kestrun
