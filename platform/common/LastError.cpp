#include "platform/LastError.h"

#include "platform/Types.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace kestrun::platform {

namespace {
thread_local uint32_t t_lastError = kErrorSuccess;
thread_local std::wstring t_lastErrorText;  // empty: the system's text for the code
}

void SetLastError(uint32_t code)
{
    t_lastError = code;
    t_lastErrorText.clear();
}

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
    SetLastError(static_cast<uint32_t>(errno));
    return false;
}

bool Fail(uint32_t code)
{
    SetLastError(code);
    return false;
}

bool FailWithText(uint32_t code, std::wstring text)
{
    t_lastError = code;
    t_lastErrorText = std::move(text);
    return false;
}

std::wstring LastErrorText()
{
    return t_lastErrorText.empty() ? SystemErrorText(t_lastError) : t_lastErrorText;
}

}  // namespace kestrun::platform
