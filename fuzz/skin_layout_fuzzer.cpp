// A skin layout (XML) built into the control tree, laid out and painted offscreen, with the
// embedded skin's images at hand, as the windows build theirs.
#include "fuzz_support.h"

#include "dui/dialog_builder.h"
#include "dui/paint_manager.h"
#include "dui/skin_archive.h"
#include "platform/ui_session.h"
#include "skin/skin_resources.h"

#include <QImage>

#include <cstdlib>

namespace {

// Painting allocates the whole window as one image: larger layouts are laid out only.
constexpr long long kMostPaintedPixels = 1 << 20;

std::shared_ptr<const SkinArchive> EmbeddedSkin()
{
    static const std::shared_ptr<const SkinArchive> archive = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        platform::InitializeUi();
        // The UI ends before static destruction, as a program's UiSession ends it.
        std::atexit(platform::ShutdownUi);
        RegisterSkinResources();
        return SkinArchive::FromResource(CPaintManagerUI::GetInstance(), kSkinResourceId);
    }();
    return archive;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto archive = EmbeddedSkin();
    FUZZ_CHECK(archive, "the embedded skin");
    CPaintManagerUI manager;
    manager.SetSkin(archive, L"");
    CDialogBuilder builder;
    CControlUI* root = builder.CreateFromXml(fuzz::Text(data, size), &manager);
    if (!root) {
        FUZZ_CHECK(!builder.GetLastError().IsEmpty(), "a refused layout says why");
        return 0;
    }
    manager.AttachDialog(root);
    manager.UpdateLayout();
    const SIZE client = manager.GetClientSize();
    (void)manager.FindControl(POINT{client.cx / 2, client.cy / 2});
    if (client.cx > 0 && client.cy > 0 && static_cast<long long>(client.cx) * client.cy <= kMostPaintedPixels) {
        QImage image;
        FUZZ_CHECK(manager.RenderToImage(image), "a layout of a size paints");
    }
    return 0;
}
