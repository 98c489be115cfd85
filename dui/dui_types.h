// Names the DirectUI stand-in shares with the windows built on it: character types,
// resource kinds, notification names.
#pragma once

#include "platform/win32.h"

#include <string>

using TCHAR = wchar_t;
using LPTSTR = wchar_t*;
using LPCTSTR = const wchar_t*;

// Where a window's layout and images come from (WindowImplBase::GetResourceType). Every skin
// is UILIB_ZIPRESOURCE, a zip archive embedded as resource "ZIPRES" GetResourceID(); the other
// kinds load no skin.
enum UILIB_RESOURCETYPE {
    UILIB_FILE = 1,
    UILIB_ZIP = 2,
    UILIB_RESOURCE = 3,
    UILIB_ZIPRESOURCE = 4,
};

// Notification types (TNotifyUI::sType).
inline constexpr LPCTSTR DUI_MSGTYPE_CLICK = L"click";
inline constexpr LPCTSTR DUI_MSGTYPE_WINDOWINIT = L"windowinit";
inline constexpr LPCTSTR DUI_MSGTYPE_SETFOCUS = L"setfocus";
inline constexpr LPCTSTR DUI_MSGTYPE_KILLFOCUS = L"killfocus";
inline constexpr LPCTSTR DUI_MSGTYPE_VALUECHANGED = L"valuechanged";

// Text placement flags of labels and buttons (the DrawText values).
inline constexpr UINT DT_LEFT = 0x0000;
inline constexpr UINT DT_CENTER = 0x0001;
inline constexpr UINT DT_RIGHT = 0x0002;
inline constexpr UINT DT_VCENTER = 0x0004;
inline constexpr UINT DT_BOTTOM = 0x0008;
inline constexpr UINT DT_WORDBREAK = 0x0010;
inline constexpr UINT DT_SINGLELINE = 0x0020;
inline constexpr UINT DT_END_ELLIPSIS = 0x8000;

// A font of a window's font table (Font id=.. name=.. size=.. bold=..). Size is in pixels.
struct TFontInfo {
    std::wstring sFontName;
    int iSize = 12;
    bool bBold = false;
    bool bUnderline = false;
    bool bItalic = false;
};
