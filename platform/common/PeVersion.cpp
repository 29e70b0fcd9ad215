#include "platform/common/PeVersion.h"

#include <algorithm>
#include <cstring>

namespace kestrun::platform {

namespace {

// Little-endian reads that fail, rather than read past the end.
bool Read16(std::span<const uint8_t> data, size_t at, uint16_t& out)
{
    if (at > data.size() || data.size() - at < 2) return false;
    out = static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
    return true;
}

bool Read32(std::span<const uint8_t> data, size_t at, uint32_t& out)
{
    if (at > data.size() || data.size() - at < 4) return false;
    out = static_cast<uint32_t>(data[at]) | (static_cast<uint32_t>(data[at + 1]) << 8) | (static_cast<uint32_t>(data[at + 2]) << 16) |
          (static_cast<uint32_t>(data[at + 3]) << 24);
    return true;
}

constexpr size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameNoCase(const std::u16string& a, const std::u16string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Lower(x) == Lower(y); });
}

// One section of the image: where its bytes lie in the file.
struct Section {
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
};

// The file offset of a relative virtual address that has size bytes behind it.
std::optional<size_t> FileOffsetOf(const std::vector<Section>& sections, uint32_t rva, uint32_t size, size_t fileSize)
{
    for (const Section& s : sections) {
        const uint64_t extent = std::max(s.virtualSize, s.rawSize);
        if (rva < s.virtualAddress || uint64_t{rva} + size > uint64_t{s.virtualAddress} + extent) continue;
        const uint64_t inSection = rva - s.virtualAddress;
        if (inSection + size > s.rawSize) return std::nullopt;  // not in the file's bytes
        const uint64_t offset = uint64_t{s.rawOffset} + inSection;
        if (offset + size > fileSize) return std::nullopt;
        return static_cast<size_t>(offset);
    }
    return std::nullopt;
}

// One entry of a resource directory: the id (or name offset) and where it leads.
struct ResourceEntry {
    uint32_t name = 0;
    uint32_t target = 0;  // high bit: a subdirectory
};

// The entries of the resource directory at offset within the resource section.
std::optional<std::vector<ResourceEntry>> DirectoryAt(std::span<const uint8_t> rsrc, uint32_t offset)
{
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!Read16(rsrc, size_t{offset} + 12, named) || !Read16(rsrc, size_t{offset} + 14, ids)) return std::nullopt;
    std::vector<ResourceEntry> entries;
    for (size_t i = 0; i < size_t{named} + ids; ++i) {
        ResourceEntry entry;
        const size_t at = size_t{offset} + 16 + 8 * i;
        if (!Read32(rsrc, at, entry.name) || !Read32(rsrc, at + 4, entry.target)) return std::nullopt;
        entries.push_back(entry);
    }
    return entries;
}

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kVersionType = 16;  // RT_VERSION
constexpr int kMaxDepth = 3;           // type, name, language

// A version-information block: its key, value and children, within its own length.
struct Block {
    std::u16string key;
    std::span<const uint8_t> value;
    std::span<const uint8_t> children;
    uint16_t valueLength = 0;
    uint16_t type = 0;  // 1 text, 0 binary
};

std::optional<Block> BlockAt(std::span<const uint8_t> data)
{
    uint16_t length = 0;
    Block block;
    if (!Read16(data, 0, length) || !Read16(data, 2, block.valueLength) || !Read16(data, 4, block.type)) return std::nullopt;
    if (length < 6 || length > data.size()) return std::nullopt;
    const std::span<const uint8_t> whole = data.first(length);
    size_t at = 6;
    for (;;) {
        uint16_t c = 0;
        if (!Read16(whole, at, c)) return std::nullopt;
        at += 2;
        if (c == 0) break;
        block.key.push_back(static_cast<char16_t>(c));
    }
    at = Align4(at);
    // Text values count in characters, binary ones in bytes.
    const size_t valueBytes = block.type == 1 ? size_t{block.valueLength} * 2 : block.valueLength;
    if (at > whole.size()) at = whole.size();
    if (valueBytes > whole.size() - at) return std::nullopt;
    block.value = whole.subspan(at, valueBytes);
    at = std::min(Align4(at + valueBytes), whole.size());
    block.children = whole.subspan(at);
    return block;
}

// The child of block whose key matches, by walking the children in order.
std::optional<Block> ChildNamed(const Block& block, const std::u16string& key)
{
    std::span<const uint8_t> rest = block.children;
    while (rest.size() >= 6) {
        uint16_t length = 0;
        Read16(rest, 0, length);
        if (length == 0) return std::nullopt;  // no progress: a damaged table
        const std::optional<Block> child = BlockAt(rest);
        if (!child) return std::nullopt;
        if (SameNoCase(child->key, key)) return child;
        const size_t next = Align4(length);
        if (next >= rest.size()) break;
        rest = rest.subspan(next);
    }
    return std::nullopt;
}

std::u16string Utf16(const char* ascii)
{
    std::u16string text;
    for (const char* p = ascii; *p != '\0'; ++p) text.push_back(static_cast<char16_t>(*p));
    return text;
}

// A text value as a string: UTF-16 up to its first NUL, surrogate pairs joined.
std::wstring TextOf(std::span<const uint8_t> value)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        const char32_t unit = static_cast<char32_t>(value[i] | (value[i + 1] << 8));
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < value.size()) {
            const char32_t low = static_cast<char32_t>(value[i + 2] | (value[i + 3] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                i += 2;
                continue;
            }
        }
        text.push_back(unit >= 0xD800 && unit <= 0xDFFF ? L'\uFFFD' : static_cast<wchar_t>(unit));
    }
    return text;
}

}  // namespace

std::optional<std::vector<uint8_t>> FindVersionResource(std::span<const uint8_t> image)
{
    // DOS header, then the PE signature and the file header.
    uint16_t magic = 0;
    uint32_t peOffset = 0;
    if (!Read16(image, 0, magic) || magic != 0x5A4D || !Read32(image, 0x3C, peOffset)) return std::nullopt;
    uint32_t signature = 0;
    if (!Read32(image, peOffset, signature) || signature != 0x00004550) return std::nullopt;
    const size_t fileHeader = size_t{peOffset} + 4;
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    if (!Read16(image, fileHeader + 2, sectionCount) || !Read16(image, fileHeader + 16, optionalSize)) return std::nullopt;
    const size_t optional = fileHeader + 20;
    uint16_t optionalMagic = 0;
    if (!Read16(image, optional, optionalMagic)) return std::nullopt;
    const bool plus = optionalMagic == 0x20B;
    if (!plus && optionalMagic != 0x10B) return std::nullopt;
    uint32_t directoryCount = 0;
    if (!Read32(image, optional + (plus ? 108 : 92), directoryCount) || directoryCount < 3) return std::nullopt;
    const size_t resourceDirectory = optional + (plus ? 112 : 96) + 2 * 8;  // the third data directory
    if (resourceDirectory + 8 > optional + optionalSize) return std::nullopt;
    uint32_t resourceRva = 0;
    uint32_t resourceSize = 0;
    if (!Read32(image, resourceDirectory, resourceRva) || !Read32(image, resourceDirectory + 4, resourceSize)) return std::nullopt;
    if (resourceRva == 0 || resourceSize == 0) return std::nullopt;

    std::vector<Section> sections;
    const size_t table = optional + optionalSize;
    for (size_t i = 0; i < sectionCount; ++i) {
        Section s;
        const size_t at = table + 40 * i;
        if (!Read32(image, at + 8, s.virtualSize) || !Read32(image, at + 12, s.virtualAddress) || !Read32(image, at + 16, s.rawSize) ||
            !Read32(image, at + 20, s.rawOffset))
            return std::nullopt;
        sections.push_back(s);
    }
    // The resource section as far as the file holds it.
    const std::optional<size_t> rsrcOffset = FileOffsetOf(sections, resourceRva, 16, image.size());
    if (!rsrcOffset) return std::nullopt;
    size_t rsrcSize = std::min<size_t>(resourceSize, image.size() - *rsrcOffset);
    for (const Section& s : sections)
        if (resourceRva >= s.virtualAddress && resourceRva - s.virtualAddress < s.rawSize)
            rsrcSize = std::min<size_t>(rsrcSize, s.rawSize - (resourceRva - s.virtualAddress));
    const std::span<const uint8_t> rsrc = image.subspan(*rsrcOffset, rsrcSize);

    // Type RT_VERSION, then the first name and the first language.
    uint32_t offset = 0;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const std::optional<std::vector<ResourceEntry>> entries = DirectoryAt(rsrc, offset);
        if (!entries || entries->empty()) return std::nullopt;
        const ResourceEntry* chosen = &entries->front();
        if (depth == 0) {
            chosen = nullptr;
            for (const ResourceEntry& entry : *entries)
                if (entry.name == kVersionType) chosen = &entry;
            if (chosen == nullptr) return std::nullopt;
        }
        const bool subdirectory = (chosen->target & kSubdirectory) != 0;
        if (subdirectory != (depth < kMaxDepth - 1)) return std::nullopt;  // the tree has three levels
        offset = chosen->target & ~kSubdirectory;
    }
    uint32_t dataRva = 0;
    uint32_t dataSize = 0;
    if (!Read32(rsrc, offset, dataRva) || !Read32(rsrc, size_t{offset} + 4, dataSize)) return std::nullopt;
    const std::optional<size_t> data = FileOffsetOf(sections, dataRva, dataSize, image.size());
    if (!data || dataSize == 0) return std::nullopt;
    return std::vector<uint8_t>(image.begin() + static_cast<std::ptrdiff_t>(*data),
                                image.begin() + static_cast<std::ptrdiff_t>(*data + dataSize));
}

std::optional<std::span<const uint8_t>> QueryVersionValue(std::span<const uint8_t> resource, const std::u16string& path)
{
    std::optional<Block> block = BlockAt(resource);
    if (!block) return std::nullopt;
    size_t at = 0;
    while (at < path.size()) {
        if (path[at] == u'\\') {
            ++at;
            continue;
        }
        const size_t end = std::min(path.find(u'\\', at), path.size());
        block = ChildNamed(*block, path.substr(at, end - at));
        if (!block) return std::nullopt;
        at = end;
    }
    return block->value;
}

std::optional<VersionInfo> VersionStrings(std::span<const uint8_t> resource)
{
    const std::optional<std::span<const uint8_t>> translation = QueryVersionValue(resource, u"\\VarFileInfo\\Translation");
    if (!translation || translation->size() < 4) return std::nullopt;
    uint16_t language = 0;
    uint16_t codePage = 0;
    Read16(*translation, 0, language);
    Read16(*translation, 2, codePage);
    static constexpr char kHex[] = "0123456789abcdef";
    std::u16string table;
    for (const uint16_t word : {language, codePage})
        for (int shift = 12; shift >= 0; shift -= 4) table.push_back(static_cast<char16_t>(kHex[(word >> shift) & 0xF]));

    auto lookup = [&](const char* name) {
        const std::u16string prefixes[] = {u"\\StringFileInfo\\" + table + u"\\", u"\\StringFileInfo\\040904e4\\"};
        for (const std::u16string& prefix : prefixes) {
            if (const auto value = QueryVersionValue(resource, prefix + Utf16(name))) return TextOf(*value);
        }
        return std::wstring();
    };
    VersionInfo info;
    info.fileDescription = lookup("FileDescription");
    info.fileVersion = lookup("FileVersion");
    info.legalCopyright = lookup("LegalCopyright");
    info.companyName = lookup("CompanyName");
    info.productName = lookup("ProductName");
    info.productVersion = lookup("ProductVersion");
    return info;
}

std::optional<VersionInfo> PeVersionInfo(std::span<const uint8_t> image)
{
    const std::optional<std::vector<uint8_t>> resource = FindVersionResource(image);
    if (!resource) return std::nullopt;
    return VersionStrings(*resource);
}

}  // namespace kestrun::platform
