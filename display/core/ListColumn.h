// Columns as data: one table per list. Each column has its header title, its
// alignment, its classic width (or one that fits the title), the text of its
// cell for a record and the ascending comparison of two records on it. The row
// keeper builds the header, writes the cells and sorts from the table; batch
// mode prints the same titles and resolves --sort against them.
#pragma once

#include "display/core/ListView.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrun {

template <class Record>
struct ListColumn {
    const wchar_t* title;
    ColumnAlign align;
    int width;  // classic pixels, or kAutoColumnWidth
    std::wstring (*text)(const Record&);
    int (*compare)(const Record& a, const Record& b);  // ascending: below 0, 0 or above 0
};

template <class Record, size_t N>
using ColumnTable = std::array<ListColumn<Record>, N>;

// Three-way comparison of two ordered values.
template <typename T>
constexpr int Order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Case-insensitive comparison of two texts, on at most limit characters of each.
int CompareNoCase(const std::wstring& a, const std::wstring& b, size_t limit = std::wstring::npos);

// The column whose title matches name, ignoring case; nullopt when none does.
std::optional<int> FindColumnByTitle(const std::vector<std::wstring>& titles, const std::wstring& name);

}  // namespace kestrun
