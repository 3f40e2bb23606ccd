#include "sim/core/registry.h"

#include "sim/core/text.h"

namespace sim {

namespace {

std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos) j = path.size();
        if (j > i) parts.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

}  // namespace

RegistryKey* RegistryKey::Subkey(std::u16string_view name) {
    auto it = subkeys_.find(FoldCase(name));
    return it == subkeys_.end() ? nullptr : it->second.get();
}

RegistryKey& RegistryKey::CreateSubkey(std::u16string_view name) {
    auto& slot = subkeys_[FoldCase(name)];
    if (!slot) slot = std::make_unique<RegistryKey>(std::u16string(name));
    return *slot;
}

bool RegistryKey::DeleteSubkey(std::u16string_view name) { return subkeys_.erase(FoldCase(name)) > 0; }

const RegistryValue* RegistryKey::Value(std::u16string_view name) const {
    auto it = values_.find(FoldCase(name));
    return it == values_.end() ? nullptr : &it->second.value;
}

void RegistryKey::SetValue(std::u16string_view name, RegistryValue value) {
    auto key = FoldCase(name);
    auto it = values_.find(key);
    if (it == values_.end())
        values_.emplace(key, Named{std::u16string(name), std::move(value), nextOrder_++});
    else
        it->second.value = std::move(value);
}

bool RegistryKey::DeleteValue(std::u16string_view name) { return values_.erase(FoldCase(name)) > 0; }

std::vector<std::u16string> RegistryKey::ValueNames() const {
    std::map<std::uint64_t, std::u16string> ordered;
    for (const auto& [k, v] : values_) ordered.emplace(v.order, v.name);
    std::vector<std::u16string> names;
    for (auto& [o, n] : ordered) names.push_back(n);
    return names;
}

Registry::Registry() = default;

RegistryKey* Registry::Root(std::u16string_view root) {
    auto r = FoldCase(root);
    if (r == u"HKLM" || r == u"HKEY_LOCAL_MACHINE") return &machine_;
    if (r == u"HKCU" || r == u"HKEY_CURRENT_USER") return &user_;
    return nullptr;
}

RegistryKey* Registry::Open(std::u16string_view path) {
    auto parts = SplitPath(path);
    if (parts.empty()) return nullptr;
    std::size_t first = 1;
    RegistryKey* key = nullptr;
    if (path.starts_with(u"\\") && parts.size() >= 2 && EqualsNoCase(parts[0], u"Registry") &&
        EqualsNoCase(parts[1], u"Machine")) {
        key = &machine_;
        first = 2;
    } else if (!path.starts_with(u"\\")) {
        key = Root(parts[0]);
    }
    for (std::size_t i = first; key != nullptr && i < parts.size(); ++i) key = key->Subkey(parts[i]);
    return key;
}

RegistryKey& Registry::Create(std::u16string_view path) {
    auto parts = SplitPath(path);
    std::size_t first = 1;
    RegistryKey* key = nullptr;
    if (path.starts_with(u"\\") && parts.size() >= 2 && EqualsNoCase(parts[0], u"Registry") &&
        EqualsNoCase(parts[1], u"Machine")) {
        key = &machine_;
        first = 2;
    } else if (!parts.empty()) {
        key = Root(parts[0]);
    }
    if (key == nullptr) key = &machine_;
    for (std::size_t i = first; i < parts.size(); ++i) key = &key->CreateSubkey(parts[i]);
    return *key;
}

std::optional<RegistryValue> Registry::Get(std::u16string_view keyPath, std::u16string_view name) {
    RegistryKey* key = Open(keyPath);
    if (key == nullptr) return std::nullopt;
    const RegistryValue* v = key->Value(name);
    if (v == nullptr) return std::nullopt;
    return *v;
}

void Registry::Set(std::u16string_view keyPath, std::u16string_view name, RegistryValue value) {
    Create(keyPath).SetValue(name, std::move(value));
}

bool Registry::Delete(std::u16string_view keyPath, std::u16string_view name) {
    RegistryKey* key = Open(keyPath);
    return key != nullptr && key->DeleteValue(name);
}

void Registry::SetDword(std::u16string_view keyPath, std::u16string_view name, std::uint32_t v) {
    RegistryValue value{REG_DWORD, {}};
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    Set(keyPath, name, std::move(value));
}

void Registry::SetQword(std::u16string_view keyPath, std::u16string_view name, std::uint64_t v) {
    RegistryValue value{REG_QWORD, {}};
    for (int i = 0; i < 8; ++i) value.data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    Set(keyPath, name, std::move(value));
}

void Registry::SetMultiSz(std::u16string_view keyPath, std::u16string_view name,
                          const std::vector<std::u16string>& elements) {
    RegistryValue value{REG_MULTI_SZ, {}};
    auto put = [&](char16_t c) {
        value.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        value.data.push_back(static_cast<std::uint8_t>(c >> 8));
    };
    for (const auto& e : elements) {
        for (char16_t c : e) put(c);
        put(0);
    }
    put(0);
    if (elements.empty()) put(0);
    Set(keyPath, name, std::move(value));
}

std::optional<std::vector<std::u16string>> Registry::GetMultiSz(std::u16string_view keyPath,
                                                                std::u16string_view name) {
    auto v = Get(keyPath, name);
    if (!v || v->type != REG_MULTI_SZ) return std::nullopt;
    std::vector<std::u16string> out;
    std::u16string current;
    for (std::size_t i = 0; i + 1 < v->data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(v->data[i] | (v->data[i + 1] << 8));
        if (c == 0) {
            if (current.empty()) break;
            out.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    return out;
}

}  // namespace sim
