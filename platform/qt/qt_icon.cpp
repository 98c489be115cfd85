#include "platform/qt/qt_icon.h"
#include "platform/win32_system.h"
#include "platform/win32_window.h"

#include <QPixmap>

#include <deque>
#include <map>
#include <mutex>

namespace platform {
namespace {

std::mutex g_iconsMutex;

// Every icon made, in a deque so their addresses stay put.
std::deque<HICON__>& Icons()
{
    static std::deque<HICON__> icons;
    return icons;
}

} // namespace

QIcon IconOf(HICON icon)
{
    if (!icon || icon->image.isNull())
        return QIcon();
    return QIcon(QPixmap::fromImage(icon->image));
}

HICON IconFromImageData(const void* data, std::size_t size)
{
    if (!data || size == 0)
        return nullptr;
    QImage image;
    if (!image.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size)))
        return nullptr;
    std::lock_guard lock(g_iconsMutex);
    Icons().push_back(HICON__{image.convertToFormat(QImage::Format_ARGB32_Premultiplied)});
    return &Icons().back();
}

} // namespace platform

HICON LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    // The same resource gives the same icon, as shared icons do on Windows.
    static std::mutex cacheMutex;
    static std::map<HRSRC, HICON> loaded;
    const HRSRC resource = FindResourceW(instance, name, RT_ICON);
    if (!resource)
        return nullptr;
    std::lock_guard lock(cacheMutex);
    if (const auto found = loaded.find(resource); found != loaded.end())
        return found->second;
    const HICON icon =
        platform::IconFromImageData(LockResource(LoadResource(instance, resource)), SizeofResource(instance, resource));
    if (icon)
        loaded.emplace(resource, icon);
    return icon;
}
