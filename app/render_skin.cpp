#include "app/render_skin.h"

#include "dui/dui.h"
#include "dui/offscreen.h"
#include "session/download_progress.h"
#include "skin/skin_resources.h"
#include "ui/message_dialog.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

namespace {

struct Preview {
    LPCTSTR layout;
    const char* png;
    std::function<void(CPaintManagerUI&)> prepare;
};

} // namespace

int RenderSkin(const std::string& dir)
{
    RegisterSkinResources();
    if (!CPaintManagerUI::GetInstance())
        CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));

    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "render-skin: cannot create %s: %s\n", dir.c_str(), error.message().c_str());
        std::fflush(stderr);
        return 1;
    }

    const Preview previews[] = {
        {L"mainWnd.xml", "mainWnd.png", nullptr},
        {L"DownloadWnd.xml", "DownloadWnd.png",
            [](CPaintManagerUI& manager) {
                if (auto* bar = static_cast<CProgressUI*>(manager.FindControl(L"progressBar")))
                    bar->SetValue(42);
                if (auto* status = static_cast<CLabelUI*>(manager.FindControl(L"edtStatus")))
                    status->SetText(FormatDownloadStatus(42).c_str());
            }},
        {L"CompleteWnd.xml", "CompleteWnd.png", nullptr},
        {L"msg.xml", "msg.png",
            [](CPaintManagerUI& manager) {
                CMsgWnd2::ApplyMessageText(manager, L"请插入需要安装课件的U盘后，再继续操作！");
            }},
        {L"msg2.xml", "msg2.png",
            [](CPaintManagerUI& manager) {
                CMsgWnd2::ApplyMessageText(manager, L"请仅保留需要安装课件的U盘，多余的盘移除后，再继续操作！");
            }},
    };

    int failures = 0;
    for (const Preview& preview : previews) {
        const std::string path = (std::filesystem::path(dir) / preview.png).string();
        CDuiString why;
        if (!dui::RenderSkinToPng(preview.layout, kSkinResourceId, path, preview.prepare, &why)) {
            std::fprintf(stderr, "render-skin: %s: %s\n", path.c_str(), why.ToUtf8().c_str());
            std::fflush(stderr);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
