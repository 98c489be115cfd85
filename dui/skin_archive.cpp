#include "dui/skin_archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <cwctype>
#include <mutex>
#include <utility>

namespace {

struct ArchiveReader {
    archive* handle = archive_read_new();
    ~ArchiveReader() { archive_read_free(handle); }
    ArchiveReader() = default;
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;
};

} // namespace

std::string SkinArchive::Key(std::wstring_view name)
{
    std::wstring normal;
    normal.reserve(name.size());
    for (wchar_t ch : name)
        normal += ch == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
    while (normal.starts_with(L"./"))
        normal.erase(0, 2);
    while (normal.starts_with(L"/"))
        normal.erase(0, 1);
    return platform::Narrow(normal);
}

std::shared_ptr<const SkinArchive> SkinArchive::FromMemory(const void* data, std::size_t size)
{
    if (!data || size == 0)
        return nullptr;
    ArchiveReader reader;
    if (!reader.handle)
        return nullptr;
    archive_read_support_format_zip(reader.handle);
    archive_read_support_filter_none(reader.handle);
    if (archive_read_open_memory(reader.handle, data, size) != ARCHIVE_OK)
        return nullptr;
    auto skin = std::shared_ptr<SkinArchive>(new SkinArchive());
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.handle, &entry)) == ARCHIVE_OK) {
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const char* raw = utf8 ? utf8 : archive_entry_pathname(entry);
        if (!raw)
            continue;
        std::string bytes;
        char buffer[16384];
        la_ssize_t got = 0;
        while ((got = archive_read_data(reader.handle, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(got));
        if (got < 0)
            return nullptr;
        skin->m_entries[Key(platform::Widen(raw))] = std::move(bytes);
    }
    if (status != ARCHIVE_EOF)
        return nullptr;
    return skin;
}

std::shared_ptr<const SkinArchive> SkinArchive::FromResource(HMODULE module, WORD id)
{
    static std::mutex mutex;
    static std::map<std::pair<HMODULE, WORD>, std::shared_ptr<const SkinArchive>> loaded;
    const std::lock_guard lock(mutex);
    const auto key = std::make_pair(module, id);
    if (const auto it = loaded.find(key); it != loaded.end())
        return it->second;
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"ZIPRES");
    if (!resource)
        return nullptr;
    const HGLOBAL handle = LoadResource(module, resource);
    const void* data = handle ? LockResource(handle) : nullptr;
    auto skin = FromMemory(data, data ? SizeofResource(module, resource) : 0);
    if (skin)
        loaded[key] = skin;
    return skin;
}

std::optional<std::string> SkinArchive::Read(std::wstring_view name) const
{
    const auto it = m_entries.find(Key(name));
    if (it == m_entries.end())
        return std::nullopt;
    return it->second;
}

bool SkinArchive::Contains(std::wstring_view name) const { return m_entries.count(Key(name)) != 0; }
