// What a CPaintManagerUI holds beyond its header, shared by the files that implement it
// (paint_manager.cpp: the tree, fonts, layout and painting; paint_manager_input.cpp: focus,
// tooltips, held input and the window's messages).
#pragma once

#include "dui/accessibility.h"
#include "dui/paint_manager.h"
#include "dui/skin_archive.h"

#include <QImage>

#include <map>
#include <memory>
#include <string>

struct CPaintManagerUI::Impl {
    std::shared_ptr<const SkinArchive> archive;
    CDuiString folder;
    std::map<std::wstring, QImage> images;
    std::map<int, TFontInfo> fonts;
    TFontInfo defaultFont{L"黑体", 12, false, false, false};
    CDuiString title;
    CDuiString titleControl;
    CControlUI* focus = nullptr;
    // The ring shows once the keyboard is used in the window (and for the focus a window
    // starts with), not after a click.
    bool showFocusRing = true;
    // The tooltip: waiting for the delay, or shown with its text at its place.
    bool toolTipPending = false;
    CDuiString toolTip;
    RECT toolTipRect;
    InputFilter held;
    bool inputHeld = false;
    dui::AccessibleWindowPtr accessible;
};

namespace dui {

// The tooltip's look: a small pale box with a thin border, 12-pixel text.
inline const TFontInfo kToolTipFont{L"黑体", 12, false, false, false};
inline constexpr int kToolTipPaddingX = 6;
inline constexpr int kToolTipPaddingY = 3;
inline constexpr int kToolTipBelowPointer = 20;

} // namespace dui
