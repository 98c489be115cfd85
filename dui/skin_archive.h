// A zip archive of layouts and images, read once into memory: from the executable's
// "ZIPRES" resource or from bytes.
#pragma once

#include "dui/dui_types.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class SkinArchive {
public:
    // Nullptr when the bytes are not a readable zip archive.
    static std::shared_ptr<const SkinArchive> FromMemory(const void* data, std::size_t size);
    // Resource "ZIPRES" number `id` of `module`; loaded once per module and id, then shared.
    static std::shared_ptr<const SkinArchive> FromResource(HMODULE module, WORD id);

    // The entry's bytes. Names use '/' or '\', compare without regard to case, and may
    // start with "./".
    std::optional<std::string> Read(std::wstring_view name) const;
    bool Contains(std::wstring_view name) const;
    std::size_t EntryCount() const { return m_entries.size(); }

private:
    static std::string Key(std::wstring_view name);
    std::map<std::string, std::string> m_entries;
};
