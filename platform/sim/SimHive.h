// An in-memory registry hive: a tree of keys with typed values. Key and value
// names compare case-insensitively and keep the spelling they were created with.
#pragma once

#include "platform/Registry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::platform::sim {

class SimHive {
public:
    SimHive();
    ~SimHive();
    SimHive(const SimHive&) = delete;
    SimHive& operator=(const SimHive&) = delete;

    // Failures return false/nullopt and set the last error (ENOENT for a missing key or value).
    bool KeyExists(const std::wstring& key) const;
    bool CreateKey(const std::wstring& key);
    bool DeleteKey(const std::wstring& key);  // with its subkeys
    std::optional<RegValue> QueryValue(const std::wstring& key, const std::wstring& name) const;
    bool SetValue(const std::wstring& key, const std::wstring& name, const RegValue& value);
    bool DeleteValue(const std::wstring& key, const std::wstring& name);
    std::optional<std::vector<std::wstring>> EnumSubKeys(const std::wstring& key) const;
    std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(const std::wstring& key) const;

private:
    struct Node;
    const Node* Find(const std::wstring& key) const;
    Node* Find(const std::wstring& key);
    Node* FindOrCreate(const std::wstring& key);

    std::unique_ptr<Node> root_;
};

// "A\\B\\\\C\\" -> {"A", "B", "C"}: empty components are ignored.
std::vector<std::wstring> SplitKey(const std::wstring& key);

}  // namespace kestrun::platform::sim
