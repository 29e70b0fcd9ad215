#include "platform/LastError.h"

#include "platform/Types.h"

#include <cerrno>
#include <cstring>

namespace kestrun::platform {

namespace {
thread_local uint32_t t_lastError = kErrorSuccess;
}

void SetLastError(uint32_t code) { t_lastError = code; }

uint32_t GetLastError() { return t_lastError; }

std::wstring SystemErrorText(uint32_t code)
{
    if (code == 0) return L"The operation completed successfully.";
    char buffer[256];
    // The GNU strerror_r returns a pointer that may or may not be buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr) return {};
    const std::string s(text);
    if (s.rfind("Unknown error", 0) == 0) return {};  // the system has no message for it
    return Widen(s);
}

bool FailWithErrno()
{
    t_lastError = static_cast<uint32_t>(errno);
    return false;
}

bool Fail(uint32_t code)
{
    t_lastError = code;
    return false;
}

}  // namespace kestrun::platform
