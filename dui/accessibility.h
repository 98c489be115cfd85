// Screen readers over the control tree (not for application code): each paint manager of a
// window is that window's accessible content (platform/accessibility.h). Its children are the
// controls a person can perceive or use, in the order of the layout: buttons (push buttons named
// by their text or else their tooltip, pressed through the action interface), progress bars
// (with their value) and text controls that have a text or a name (static text with their
// present text). Layout containers and images without text are left out.
#pragma once

#include <memory>

class CControlUI;
class CPaintManagerUI;

namespace dui {

class AccessibleWindow;
struct AccessibleWindowDeleter {
    void operator()(AccessibleWindow* window) const;
};
using AccessibleWindowPtr = std::unique_ptr<AccessibleWindow, AccessibleWindowDeleter>;

// Registers the manager's tree as the content of its window; the result unregisters it.
AccessibleWindowPtr MakeAccessibleWindow(CPaintManagerUI& manager);
// Deletes the control's interface, if it has one; from the control's destructor.
void ReleaseAccessible(CControlUI& control);
// Tells assistive tools (when any listen) that a control took the focus, changed its text or
// its value.
void NotifyAccessibleFocus(CControlUI& control);
void NotifyAccessibleText(CControlUI& control);
void NotifyAccessibleValue(CControlUI& control);
// Whether the control appears among the window's children.
bool IsAccessibleChild(CControlUI& control);

// The window message the press action posts (lParam: the control); the manager presses the
// control if it is still there and the window takes input.
inline constexpr unsigned kAccessiblePressMessage = 0x0400 + 0x7100;

} // namespace dui
