// Window titles as clients store them: _NET_WM_NAME in UTF-8, WM_NAME in the
// encoding its type names (Latin-1 for STRING, or COMPOUND_TEXT and the like).
#pragma once

#include "platform/linux/X11Session.h"

#include <optional>
#include <string>

namespace kestrun::platform::linux_backend {

// A text property ends at its first NUL (a list of strings keeps only the first).
std::string FirstString(const std::string& bytes);

std::wstring Latin1ToWide(const std::string& bytes);

// The title from the two properties as read (nullopt: missing); empty when neither has text.
std::wstring DecodeTitle(const X11Session& session, const std::optional<std::string>& netWmName,
                         const std::optional<std::string>& wmName, xcb_atom_t wmNameType);

}  // namespace kestrun::platform::linux_backend
