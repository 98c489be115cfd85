// Embedded resources: data blocks the embedding targets register at start-up, found by type
// and id as FindResourceW finds them in a Windows module. There is one module, the program.
#include "platform/core/immortal.h"
#include "platform/win32_system.h"

#include <cwctype>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

struct HRSRC__ {
    std::wstring typeName; // upper case; empty for an integer type
    WORD typeId = 0;
    WORD id = 0;
    const void* data = nullptr;
    std::size_t size = 0;
};

namespace {

struct ResourceKey {
    std::wstring typeName;
    WORD typeId = 0;
};

std::mutex g_resourcesMutex;
std::deque<HRSRC__>& Resources()
{
    static platform::Immortal<std::deque<HRSRC__>> resources; // a deque keeps entries where they are
    return resources.Get();
}

std::wstring Upper(LPCWSTR text)
{
    std::wstring upper = text;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return upper;
}

ResourceKey KeyOf(LPCWSTR type)
{
    if (IS_INTRESOURCE(type))
        return ResourceKey{std::wstring(), static_cast<WORD>(reinterpret_cast<UINT_PTR>(type))};
    return ResourceKey{Upper(type), 0};
}

// A resource name is an integer id or its "#123" spelling.
std::optional<WORD> IdOf(LPCWSTR name)
{
    if (!name)
        return std::nullopt;
    if (IS_INTRESOURCE(name))
        return static_cast<WORD>(reinterpret_cast<UINT_PTR>(name));
    if (name[0] != L'#' || name[1] == L'\0')
        return std::nullopt;
    unsigned long value = 0;
    for (const wchar_t* p = name + 1; *p; ++p) {
        if (*p < L'0' || *p > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(*p - L'0');
        if (value > 0xFFFF)
            return std::nullopt;
    }
    return static_cast<WORD>(value);
}

bool Matches(const HRSRC__& entry, const ResourceKey& key, WORD id)
{
    return entry.id == id && entry.typeId == key.typeId && entry.typeName == key.typeName;
}

} // namespace

namespace platform {

void RegisterResource(LPCWSTR type, WORD id, const void* data, std::size_t size)
{
    if (!type)
        return;
    const ResourceKey key = KeyOf(type);
    std::lock_guard lock(g_resourcesMutex);
    for (HRSRC__& entry : Resources()) {
        if (Matches(entry, key, id)) {
            entry.data = data;
            entry.size = size;
            return;
        }
    }
    Resources().push_back(HRSRC__{key.typeName, key.typeId, id, data, size});
}

} // namespace platform

HRSRC FindResourceW(HMODULE, LPCWSTR name, LPCWSTR type)
{
    const auto id = IdOf(name);
    if (!id || !type)
        return nullptr;
    const ResourceKey key = KeyOf(type);
    std::lock_guard lock(g_resourcesMutex);
    for (HRSRC__& entry : Resources())
        if (Matches(entry, key, *id))
            return &entry;
    return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource)
{
    if (!resource)
        return nullptr;
    std::lock_guard lock(g_resourcesMutex);
    return const_cast<void*>(resource->data);
}

DWORD SizeofResource(HMODULE, HRSRC resource)
{
    if (!resource)
        return 0;
    std::lock_guard lock(g_resourcesMutex);
    return static_cast<DWORD>(resource->size);
}

LPVOID LockResource(HGLOBAL data) { return data; }
