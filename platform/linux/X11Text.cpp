#include "platform/linux/X11Text.h"

#include "platform/Types.h"

#include <X11/Xutil.h>

namespace kestrun::platform::linux_backend {

std::string FirstString(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

std::wstring Latin1ToWide(const std::string& bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    for (const unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c));
    return out;
}

std::wstring DecodeTitle(const X11Session& session, const std::optional<std::string>& netWmName,
                         const std::optional<std::string>& wmName, xcb_atom_t wmNameType)
{
    if (netWmName && !netWmName->empty()) return Widen(FirstString(*netWmName));
    if (!wmName || wmName->empty()) return {};
    const X11Atoms& atoms = session.atoms();
    if (wmNameType == XCB_ATOM_STRING) return Latin1ToWide(FirstString(*wmName));
    if (wmNameType == atoms.utf8String) return Widen(FirstString(*wmName));
    // COMPOUND_TEXT and the like: Xlib converts them locally, without the server.
    XTextProperty property{};
    property.value = reinterpret_cast<unsigned char*>(const_cast<char*>(wmName->data()));
    property.encoding = wmNameType;
    property.format = 8;
    property.nitems = wmName->size();
    char** list = nullptr;
    int count = 0;
    std::wstring title;
    if (Xutf8TextPropertyToTextList(session.display(), &property, &list, &count) >= Success && list != nullptr) {
        if (count > 0 && list[0] != nullptr) title = Widen(list[0]);
        XFreeStringList(list);
    } else {
        title = Latin1ToWide(FirstString(*wmName));
    }
    return title;
}

}  // namespace kestrun::platform::linux_backend
