// Writes small PE images with a version resource of the test's own making, for
// the tests of the version-resource reader: the image, its resource tree and
// the version blocks, each laid out as the format defines them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::testing {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& out, size_t at, uint16_t v)
{
    if (out.size() < at + 2) out.resize(at + 2);
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& out, size_t at, uint32_t v)
{
    Put16(out, at, static_cast<uint16_t>(v));
    Put16(out, at + 2, static_cast<uint16_t>(v >> 16));
}
inline void Pad4(Bytes& out)
{
    while (out.size() % 4 != 0) out.push_back(0);
}

// One version-information block: header, key, value, children, with its length.
inline Bytes VersionBlock(const std::u16string& key, const Bytes& value, uint16_t valueLength, uint16_t type,
                          const std::vector<Bytes>& children = {})
{
    Bytes out(6, 0);
    for (char16_t c : key) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    Pad4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Pad4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    Put16(out, 0, static_cast<uint16_t>(out.size()));
    Put16(out, 2, valueLength);
    Put16(out, 4, type);
    return out;
}

inline Bytes Text(const std::u16string& text)
{
    Bytes out;
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

inline Bytes StringEntry(const std::u16string& name, const std::u16string& value)
{
    return VersionBlock(name, Text(value), static_cast<uint16_t>(value.size() + 1), 1);
}

// A VS_VERSIONINFO with one string table and, unless translation is empty, a
// translation table of (language, code page) pairs.
inline Bytes VersionResource(const std::u16string& table, const std::vector<std::pair<std::u16string, std::u16string>>& strings,
                             const std::vector<std::pair<uint16_t, uint16_t>>& translation)
{
    std::vector<Bytes> entries;
    for (const auto& [name, value] : strings) entries.push_back(StringEntry(name, value));
    std::vector<Bytes> children = {VersionBlock(u"StringFileInfo", {}, 0, 1, {VersionBlock(table, {}, 0, 1, entries)})};
    if (!translation.empty()) {
        Bytes pairs;
        for (const auto& [language, codePage] : translation) {
            Put16(pairs, pairs.size(), language);
            Put16(pairs, pairs.size(), codePage);
        }
        children.push_back(VersionBlock(u"VarFileInfo", {}, 0, 1,
                                        {VersionBlock(u"Translation", pairs, static_cast<uint16_t>(pairs.size()), 0)}));
    }
    Bytes fixed(52, 0);
    Put32(fixed, 0, 0xFEEF04BD);
    return VersionBlock(u"VS_VERSION_INFO", fixed, 52, 0, children);
}

// A PE image (PE32, or PE32+ when wide) with one section holding a resource
// tree of one RT_VERSION resource: the given version block.
inline Bytes PeImage(const Bytes& version, bool wide = false)
{
    constexpr uint32_t kPe = 0x40;
    constexpr uint32_t kRsrcRva = 0x1000;
    constexpr uint32_t kRsrcFile = 0x200;
    const uint16_t optionalSize = wide ? 240 : 224;
    Bytes image(kRsrcFile, 0);
    Put16(image, 0, 0x5A4D);  // MZ
    Put32(image, 0x3C, kPe);
    Put32(image, kPe, 0x00004550);  // PE\0\0
    Put16(image, kPe + 4, wide ? 0x8664 : 0x014C);
    Put16(image, kPe + 6, 1);  // one section
    Put16(image, kPe + 20, optionalSize);
    const uint32_t optional = kPe + 24;
    Put16(image, optional, wide ? 0x20B : 0x10B);
    Put32(image, optional + (wide ? 108 : 92), 16);  // data directories

    // The resource tree: type 16, name 1, language 0x409, then the data entry.
    Bytes rsrc(0x58, 0);
    Put16(rsrc, 14, 1);
    Put32(rsrc, 16, 16);
    Put32(rsrc, 20, 0x80000018);
    Put16(rsrc, 0x18 + 14, 1);
    Put32(rsrc, 0x18 + 16, 1);
    Put32(rsrc, 0x18 + 20, 0x80000030);
    Put16(rsrc, 0x30 + 14, 1);
    Put32(rsrc, 0x30 + 16, 0x409);
    Put32(rsrc, 0x30 + 20, 0x48);
    Put32(rsrc, 0x48, kRsrcRva + 0x58);
    Put32(rsrc, 0x4C, static_cast<uint32_t>(version.size()));
    rsrc.insert(rsrc.end(), version.begin(), version.end());

    const uint32_t directory = optional + (wide ? 112 : 96) + 2 * 8;
    Put32(image, directory, kRsrcRva);
    Put32(image, directory + 4, static_cast<uint32_t>(rsrc.size()));
    const uint32_t section = optional + optionalSize;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (int i = 0; i < 8; ++i) image[section + static_cast<uint32_t>(i)] = static_cast<uint8_t>(name[i]);
    Put32(image, section + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(image, section + 12, kRsrcRva);
    Put32(image, section + 16, static_cast<uint32_t>(rsrc.size()));
    Put32(image, section + 20, kRsrcFile);
    image.insert(image.end(), rsrc.begin(), rsrc.end());
    return image;
}

}  // namespace kestrun::testing
