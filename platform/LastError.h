// The per-thread last error: every failing platform call sets it, ShowError reads it.
#pragma once

#include <cstdint>
#include <string>

namespace kestrun::platform {

// Error numbers are errno values on every backend, so the text is strerror's.
constexpr uint32_t kErrorSuccess = 0;

void SetLastError(uint32_t code);
[[nodiscard]] uint32_t GetLastError();

// The one-line system text for an error number; empty when the system has none.
[[nodiscard]] std::wstring SystemErrorText(uint32_t code);

// Sets the last error from errno and returns false: `return FailWithErrno();`.
bool FailWithErrno();
// Sets the last error to code and returns false.
bool Fail(uint32_t code);

}  // namespace kestrun::platform
