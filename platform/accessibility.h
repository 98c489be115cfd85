// Screen readers and other assistive tools: what a top-level window shows, told through Qt's
// accessibility interfaces (on Linux Qt's AT-SPI bridge publishes them). This is the Qt-facing
// header for that, as paint_surface.h is for painting; the library that draws a window's
// content describes it with an AccessibleContent.
//
// Every top-level window with a native window is a frame (a dialog when it is a tool window or
// has an owner), named by its content or else by its window text, with the content's objects
// as its children. Showing a window announces it. UI thread only.
#pragma once

#include "platform/win32_types.h"

#include <QString>

class QAccessibleInterface;
class QRect;

namespace platform {

// What a window holds, as its drawing library knows it. The interfaces it hands out are
// registered with QAccessible (QAccessible::registerAccessibleInterface) and stay valid for as
// long as the objects they describe.
class AccessibleContent {
public:
    virtual int AccessibleChildCount() = 0;
    virtual QAccessibleInterface* AccessibleChild(int index) = 0;
    // -1 when `child` is not one of the children.
    virtual int IndexOfAccessibleChild(const QAccessibleInterface* child) = 0;
    // The child with the keyboard focus, or null.
    virtual QAccessibleInterface* AccessibleFocusChild() = 0;
    // The window's name; empty: its window text.
    virtual QString AccessibleName() = 0;

protected:
    ~AccessibleContent() = default;
};

// Makes `content` the content of `hwnd` (null: none). The content must be taken away again
// before it goes; a destroyed window forgets its content by itself.
void SetAccessibleContent(HWND hwnd, AccessibleContent* content);

// The interface of the top-level window `hwnd`; null when it has no native window.
QAccessibleInterface* AccessibleWindow(HWND hwnd);

// A rectangle in `hwnd`'s client coordinates on the screen, in the coordinates Qt's
// accessibility reports (the screen's logical pixels).
QRect AccessibleScreenRect(HWND hwnd, const RECT& client);

// Tells assistive tools that the window's name changed (its content's name, or its text).
void NotifyAccessibleWindowNameChanged(HWND hwnd);

} // namespace platform
