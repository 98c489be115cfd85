// installer --render-skin DIR: one PNG per window of the skin, painted offscreen by the code
// that paints the real windows.
#pragma once

#include <string>

// Writes mainWnd.png, DownloadWnd.png (bar at 42, "正在下载文件：42%"), CompleteWnd.png,
// msg.png (one button, a 20-character message) and msg2.png (two buttons, a longer message in
// the smaller font) into `dir` (a native path, created when missing). 0 when all five were
// written; otherwise 1, with one line per failure on standard error.
int RenderSkin(const std::string& dir);
