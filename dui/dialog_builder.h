// CDialogBuilder: builds a control tree from a layout (UTF-8 XML). The Window element's
// attributes (size, caption, roundcorner, mininfo) and its Font elements go to the paint
// manager; the first control element under Window becomes the root.
//
// Elements: VerticalLayout, HorizontalLayout, Container, Control (a spacer or an image),
// Label, Text, Button, Progress; others are asked of the callback, then skipped with their
// children. Attributes are listed with each control class.
#pragma once

#include "dui/control.h"
#include "dui/notify.h"

#include <string_view>

class CPaintManagerUI;

class CDialogBuilder {
public:
    // Reads `skinFile` through the manager (its archive or folder). Nullptr when the file is
    // missing or not a layout; GetLastError() then says why.
    CControlUI* Create(LPCTSTR skinFile, CPaintManagerUI* manager, IDialogBuilderCallback* callback = nullptr);
    CControlUI* CreateFromXml(
        std::string_view xml, CPaintManagerUI* manager, IDialogBuilderCallback* callback = nullptr);
    const CDuiString& GetLastError() const { return m_error; }

private:
    CDuiString m_error;
};
