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
// Sets the last error to code with a text of its own, shown instead of the
// system's text for code (a D-Bus error's name and message), and returns false.
bool FailWithText(uint32_t code, std::wstring text);

// The text of the last error: the failing call's own text when it gave one,
// else the system's text for the code. Every other way of setting the last
// error drops an own text.
[[nodiscard]] std::wstring LastErrorText();

}  // namespace kestrun::platform
