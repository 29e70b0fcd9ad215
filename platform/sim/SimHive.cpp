#include "platform/sim/SimHive.h"

#include "platform/LastError.h"
#include "platform/sim/SimDevice.h"

#include <cerrno>

namespace kestrun::platform::sim {

struct SimHive::Node {
    std::wstring name;
    std::map<std::wstring, std::unique_ptr<Node>> children;   // by lower-case name: enumeration is alphabetical
    std::vector<std::pair<std::wstring, RegValue>> values;    // in the order they were first set

    std::vector<std::pair<std::wstring, RegValue>>::iterator FindValue(const std::wstring& valueName)
    {
        const std::wstring wanted = Lower(valueName);
        for (auto it = values.begin(); it != values.end(); ++it)
            if (Lower(it->first) == wanted) return it;
        return values.end();
    }
};

std::vector<std::wstring> SplitKey(const std::wstring& key)
{
    std::vector<std::wstring> parts;
    std::wstring current;
    for (wchar_t c : key) {
        if (c == L'\\') {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

SimHive::SimHive() : root_(std::make_unique<Node>()) {}
SimHive::~SimHive() = default;

const SimHive::Node* SimHive::Find(const std::wstring& key) const
{
    const Node* node = root_.get();
    for (const std::wstring& part : SplitKey(key)) {
        auto it = node->children.find(Lower(part));
        if (it == node->children.end()) return nullptr;
        node = it->second.get();
    }
    return node;
}

SimHive::Node* SimHive::Find(const std::wstring& key)
{
    return const_cast<Node*>(static_cast<const SimHive*>(this)->Find(key));
}

SimHive::Node* SimHive::FindOrCreate(const std::wstring& key)
{
    Node* node = root_.get();
    for (const std::wstring& part : SplitKey(key)) {
        std::unique_ptr<Node>& child = node->children[Lower(part)];
        if (!child) {
            child = std::make_unique<Node>();
            child->name = part;
        }
        node = child.get();
    }
    return node;
}

bool SimHive::KeyExists(const std::wstring& key) const
{
    if (Find(key) != nullptr) return true;
    return Fail(ENOENT);
}

bool SimHive::CreateKey(const std::wstring& key)
{
    FindOrCreate(key);
    return true;
}

bool SimHive::DeleteKey(const std::wstring& key)
{
    std::vector<std::wstring> parts = SplitKey(key);
    if (parts.empty()) return Fail(EINVAL);  // the hive's root cannot go
    const std::wstring last = Lower(parts.back());
    parts.pop_back();
    Node* parent = root_.get();
    for (const std::wstring& part : parts) {
        auto it = parent->children.find(Lower(part));
        if (it == parent->children.end()) return Fail(ENOENT);
        parent = it->second.get();
    }
    if (parent->children.erase(last) == 0) return Fail(ENOENT);
    return true;
}

std::optional<RegValue> SimHive::QueryValue(const std::wstring& key, const std::wstring& name) const
{
    Node* node = const_cast<SimHive*>(this)->Find(key);
    if (node == nullptr) { Fail(ENOENT); return std::nullopt; }
    auto it = node->FindValue(name);
    if (it == node->values.end()) { Fail(ENOENT); return std::nullopt; }
    return it->second;
}

bool SimHive::SetValue(const std::wstring& key, const std::wstring& name, const RegValue& value)
{
    Node* node = FindOrCreate(key);
    auto it = node->FindValue(name);
    if (it == node->values.end()) node->values.emplace_back(name, value);
    else it->second = value;
    return true;
}

bool SimHive::DeleteValue(const std::wstring& key, const std::wstring& name)
{
    Node* node = Find(key);
    if (node == nullptr) return Fail(ENOENT);
    auto it = node->FindValue(name);
    if (it == node->values.end()) return Fail(ENOENT);
    node->values.erase(it);
    return true;
}

std::optional<std::vector<std::wstring>> SimHive::EnumSubKeys(const std::wstring& key) const
{
    const Node* node = Find(key);
    if (node == nullptr) { Fail(ENOENT); return std::nullopt; }
    std::vector<std::wstring> names;
    names.reserve(node->children.size());
    for (const auto& [lower, child] : node->children) names.push_back(child->name);
    return names;
}

std::optional<std::vector<std::pair<std::wstring, RegValue>>> SimHive::EnumValues(const std::wstring& key) const
{
    const Node* node = Find(key);
    if (node == nullptr) { Fail(ENOENT); return std::nullopt; }
    return node->values;
}

}  // namespace kestrun::platform::sim
