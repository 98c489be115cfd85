#include "skin/skin_resources.h"

#include "platform/win32.h"

#include <mutex>

extern "C" {
extern const unsigned char installer_skin_zip[];
extern const unsigned char installer_skin_zip_end[];
extern const unsigned char installer_icon_png[];
extern const unsigned char installer_icon_png_end[];
}

std::string_view EmbeddedSkinArchive()
{
    return {reinterpret_cast<const char*>(installer_skin_zip),
        static_cast<std::size_t>(installer_skin_zip_end - installer_skin_zip)};
}

std::string_view EmbeddedIcon()
{
    return {reinterpret_cast<const char*>(installer_icon_png),
        static_cast<std::size_t>(installer_icon_png_end - installer_icon_png)};
}

void RegisterSkinResources()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const auto skin = EmbeddedSkinArchive();
        const auto icon = EmbeddedIcon();
        platform::RegisterResource(L"ZIPRES", static_cast<WORD>(kSkinResourceId), skin.data(), skin.size());
        platform::RegisterResource(RT_ICON, static_cast<WORD>(kIconResourceId), icon.data(), icon.size());
    });
}
