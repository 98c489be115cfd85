// Layouts of the embedded skin built into a windowless paint manager, as the offscreen
// preview builds them.
#pragma once

#include "dui/dui.h"

#include <memory>

// Brings up the GUI application (offscreen in tests) and registers the embedded skin.
void PrepareSkinTests();

struct BuiltLayout {
    std::unique_ptr<CPaintManagerUI> manager;
    CControlUI* root = nullptr;
};

// Builds `layout` from the embedded skin; root is null (and the test fails) when it cannot.
BuiltLayout BuildSkinLayout(LPCTSTR layout);

// The named control's rectangle after layout; a zero rectangle (and a failure) when missing.
RECT ControlRect(CPaintManagerUI& manager, LPCTSTR name);
