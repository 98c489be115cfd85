// Painting layouts without a window: a preview of the skin, drawn by the paint manager's
// one painting path (the one WM_PAINT uses).
#pragma once

#include "dui/paint_manager.h"

#include <functional>
#include <string>

namespace dui {

// Makes sure a GUI application object exists for fonts and painting. Without one (a process
// that opens no window) it creates one on the offscreen platform unless QT_QPA_PLATFORM
// names another. Call on the thread that paints.
void EnsureGuiApplication();

// Builds `skinFile` from the "ZIPRES" resource `resourceId` of CPaintManagerUI::GetInstance()
// (folder `skinFolder`), lets `prepare` change controls, paints the layout at its window size
// and writes it as PNG to the native path `pngPath`. False, with the reason in `error`, when any step fails.
bool RenderSkinToPng(LPCTSTR skinFile, UINT resourceId, const std::string& pngPath,
    const std::function<void(CPaintManagerUI&)>& prepare, CDuiString* error = nullptr, LPCTSTR skinFolder = L"");

} // namespace dui
