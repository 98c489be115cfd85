// The pointer shape: the system's arrow and its busy pointer, for every window of the program.
#include "platform/core/display.h"
#include "platform/win32_window.h"

namespace {

// Handles of the two system cursors: their resource numbers, as Windows does for shared ones.
HCURSOR CursorHandle(LPCWSTR name) { return reinterpret_cast<HCURSOR>(const_cast<wchar_t*>(name)); }

HCURSOR current = nullptr;

} // namespace

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name)
{
    if (instance || (name != IDC_ARROW && name != IDC_WAIT))
        return nullptr;
    return CursorHandle(name);
}

HCURSOR SetCursor(HCURSOR cursor)
{
    const HCURSOR previous = current;
    current = cursor;
    platform::CurrentDisplay()->SetBusyPointer(cursor == CursorHandle(IDC_WAIT));
    return previous;
}
