#include "dui/offscreen.h"

#include "dui/dialog_builder.h"
#include "dui/skin_archive.h"
#include "platform/ui_session.h"

#include <QGuiApplication>

#include <memory>

namespace dui {

void EnsureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "installer";
    static char* argv[] = {name, nullptr};
    // Previews need no display: paint offscreen unless told otherwise.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::EnsureRuntimeFolder();
    static const std::unique_ptr<QGuiApplication> application = std::make_unique<QGuiApplication>(argc, argv);
}

bool RenderSkinToPng(LPCTSTR skinFile, UINT resourceId, const std::string& pngPath,
    const std::function<void(CPaintManagerUI&)>& prepare, CDuiString* error, LPCTSTR skinFolder)
{
    EnsureGuiApplication();
    const auto fail = [error](const CDuiString& why) {
        if (error)
            *error = why;
        return false;
    };
    const auto archive = SkinArchive::FromResource(CPaintManagerUI::GetInstance(), static_cast<WORD>(resourceId));
    if (!archive)
        return fail(L"the skin archive resource is missing or unreadable");
    CPaintManagerUI manager;
    manager.SetSkin(archive, skinFolder);
    CDialogBuilder builder;
    CControlUI* root = builder.Create(skinFile, &manager);
    if (!root)
        return fail(builder.GetLastError());
    manager.AttachDialog(root);
    if (prepare)
        prepare(manager);
    if (!manager.SaveImage(pngPath))
        return fail(CDuiString(L"cannot write ") + CDuiString::FromUtf8(pngPath));
    return true;
}

} // namespace dui
