// The five layouts of the embedded skin, laid out offscreen: window sizes, the rectangles of
// the named controls, fonts, and every image they name.
#include "skin_fixture.h"

#include "dui/painting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LayoutCase {
    const wchar_t* file;
    SIZE size;
    int caption;
    std::vector<const wchar_t*> names;
};

const LayoutCase kLayouts[] = {
    {L"mainWnd.xml", {590, 420}, 28, {L"minbtn", L"closebtn", L"btnStart"}},
    {L"DownloadWnd.xml", {590, 420}, 28, {L"minbtn", L"closebtn", L"edtStatus", L"progressBar"}},
    {L"CompleteWnd.xml", {590, 420}, 28, {L"minbtn", L"closebtn", L"btnOk"}},
    {L"msg.xml", {360, 200}, 25, {L"MessageText", L"confirm_btn"}},
    {L"msg2.xml", {360, 200}, 25, {L"MessageText", L"confirm_btn", L"cancel_btn"}},
};

int Width(const RECT& rc) { return rc.right - rc.left; }
int Height(const RECT& rc) { return rc.bottom - rc.top; }
bool CentredIn(const RECT& rc, int width) { return rc.left + rc.right == width; }

class SkinLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SkinLayout, WindowSizeCaptionAndNamedControls)
{
    const LayoutCase& layout = GetParam();
    auto built = BuildSkinLayout(layout.file);
    ASSERT_TRUE(built.root);
    EXPECT_EQ(built.manager->GetInitSize().cx, layout.size.cx);
    EXPECT_EQ(built.manager->GetInitSize().cy, layout.size.cy);
    EXPECT_EQ(built.manager->GetCaptionRect().bottom, layout.caption);
    const RECT& root = built.root->GetPos();
    EXPECT_EQ(Width(root), layout.size.cx);
    EXPECT_EQ(Height(root), layout.size.cy);
    for (const wchar_t* name : layout.names) {
        const CControlUI* control = built.manager->FindControl(name);
        ASSERT_TRUE(control) << CDuiString(name).ToUtf8();
        EXPECT_GT(Width(control->GetPos()), 0) << CDuiString(name).ToUtf8();
        EXPECT_LE(control->GetPos().right, layout.size.cx) << CDuiString(name).ToUtf8();
        EXPECT_LE(control->GetPos().bottom, layout.size.cy) << CDuiString(name).ToUtf8();
    }
}

// Every image a control names exists in the archive and decodes.
TEST_P(SkinLayout, EveryNamedImageLoads)
{
    auto built = BuildSkinLayout(GetParam().file);
    ASSERT_TRUE(built.root);
    struct Context {
        CPaintManagerUI* manager;
        std::vector<std::string> missing;
        int images = 0;
    } context{built.manager.get(), {}, 0};
    built.root->ForEach(
        [](CControlUI* control, void* raw) {
            auto& ctx = *static_cast<Context*>(raw);
            std::vector<CDuiString> images{control->GetBkImage()};
            if (auto* button = static_cast<CButtonUI*>(control->GetInterface(L"Button"))) {
                images.push_back(button->GetNormalImage());
                images.push_back(button->GetHotImage());
                images.push_back(button->GetPushedImage());
            }
            if (auto* progress = static_cast<CProgressUI*>(control->GetInterface(L"Progress")))
                images.push_back(progress->GetForeImage());
            for (const CDuiString& image : images) {
                if (image.IsEmpty())
                    continue;
                ++ctx.images;
                const auto spec = dui::ParseImageSpec(image);
                if (!ctx.manager->GetImage(spec.file))
                    ctx.missing.push_back(spec.file.ToUtf8());
            }
        },
        &context);
    EXPECT_GT(context.images, 0);
    EXPECT_TRUE(context.missing.empty()) << context.missing.front();
}

INSTANTIATE_TEST_SUITE_P(Skin, SkinLayout, ::testing::ValuesIn(kLayouts), [](const auto& instance) {
    std::string name = CDuiString(instance.param.file).ToUtf8();
    return name.substr(0, name.find('.'));
});

TEST(SkinLayoutGeometry, MainWindow)
{
    auto built = BuildSkinLayout(L"mainWnd.xml");
    ASSERT_TRUE(built.root);
    const RECT start = ControlRect(*built.manager, L"btnStart");
    EXPECT_EQ(Width(start), 240);
    EXPECT_EQ(Height(start), 40);
    EXPECT_TRUE(CentredIn(start, 590));
    EXPECT_EQ(start.bottom, 420 - 67);
    // The caption buttons sit together at the right end of the 23-pixel top bar.
    const RECT minimise = ControlRect(*built.manager, L"minbtn");
    const RECT close = ControlRect(*built.manager, L"closebtn");
    EXPECT_EQ(close.right, 590);
    EXPECT_EQ(minimise.right, close.left);
    EXPECT_EQ(close.right - minimise.left, 46);
    EXPECT_EQ(minimise.top, 0);
    EXPECT_EQ(Height(close), 23);
    EXPECT_EQ(static_cast<CButtonUI*>(built.manager->FindControl(L"minbtn"))->GetToolTip(), L"最小化");
    EXPECT_EQ(static_cast<CButtonUI*>(built.manager->FindControl(L"closebtn"))->GetToolTip(), L"关闭");
}

TEST(SkinLayoutGeometry, DownloadWindow)
{
    auto built = BuildSkinLayout(L"DownloadWnd.xml");
    ASSERT_TRUE(built.root);
    const RECT bar = ControlRect(*built.manager, L"progressBar");
    EXPECT_EQ(Width(bar), 520);
    EXPECT_EQ(Height(bar), 8);
    EXPECT_TRUE(CentredIn(bar, 590));
    const auto* progress = static_cast<CProgressUI*>(built.manager->FindControl(L"progressBar"));
    EXPECT_EQ(progress->GetMinValue(), 0);
    EXPECT_EQ(progress->GetMaxValue(), 100);
    const RECT status = ControlRect(*built.manager, L"edtStatus");
    EXPECT_EQ(Width(status), 410);
    EXPECT_TRUE(CentredIn(status, 590));
    EXPECT_LT(status.bottom, bar.top);
    EXPECT_EQ(static_cast<CLabelUI*>(built.manager->FindControl(L"edtStatus"))->GetFont(), 2);
}

TEST(SkinLayoutGeometry, CompletionWindow)
{
    auto built = BuildSkinLayout(L"CompleteWnd.xml");
    ASSERT_TRUE(built.root);
    const RECT ok = ControlRect(*built.manager, L"btnOk");
    EXPECT_EQ(Width(ok), 240);
    EXPECT_EQ(Height(ok), 40);
    EXPECT_TRUE(CentredIn(ok, 590));
    EXPECT_EQ(ok.bottom, 420 - 67);
}

TEST(SkinLayoutGeometry, OneButtonMessage)
{
    auto built = BuildSkinLayout(L"msg.xml");
    ASSERT_TRUE(built.root);
    const RECT text = ControlRect(*built.manager, L"MessageText");
    EXPECT_EQ(Width(text), 240);
    EXPECT_EQ(Height(text), 60);
    EXPECT_EQ(text.left, 35 + 50);
    const auto* message = static_cast<CTextUI*>(built.manager->FindControl(L"MessageText"));
    EXPECT_EQ(message->GetFont(), 2);
    EXPECT_TRUE(message->IsShowHtml());
    EXPECT_TRUE(message->GetTextStyle() & DT_VCENTER);
    EXPECT_EQ(message->GetTextPadding().left, 10);
    EXPECT_EQ(message->GetTextPadding().bottom, 10);
    const RECT confirm = ControlRect(*built.manager, L"confirm_btn");
    EXPECT_EQ(Width(confirm), 80);
    EXPECT_EQ(Height(confirm), 30);
    EXPECT_TRUE(CentredIn(confirm, 360));
    EXPECT_EQ(confirm.bottom, 200 - 30);
    EXPECT_EQ(built.manager->FindControl(L"cancel_btn"), nullptr);
    EXPECT_EQ(built.manager->FindControl(L"closebtn"), nullptr);
}

TEST(SkinLayoutGeometry, TwoButtonMessageSpacesAreEqual)
{
    auto built = BuildSkinLayout(L"msg2.xml");
    ASSERT_TRUE(built.root);
    const RECT confirm = ControlRect(*built.manager, L"confirm_btn");
    const RECT cancel = ControlRect(*built.manager, L"cancel_btn");
    for (const RECT& rc : {confirm, cancel}) {
        EXPECT_EQ(Width(rc), 80);
        EXPECT_EQ(Height(rc), 30);
        EXPECT_EQ(rc.bottom, 200 - 30);
    }
    const int before = confirm.left;
    const int between = cancel.left - confirm.right;
    const int after = 360 - cancel.right;
    EXPECT_LE(std::abs(before - between), 1);
    EXPECT_LE(std::abs(between - after), 1);
    EXPECT_LE(std::abs(before - after), 1);
    EXPECT_EQ(before + between + after, 360 - 160);
    EXPECT_EQ(static_cast<CButtonUI*>(built.manager->FindControl(L"cancel_btn"))->GetText(), L"取消");
    EXPECT_EQ(static_cast<CButtonUI*>(built.manager->FindControl(L"confirm_btn"))->GetText(), L"确定");
}

struct FontCase {
    const wchar_t* file;
    int sizes[3];
    bool bold;
};

TEST(SkinFonts, TablesByIdCarryFaceSizeAndWeight)
{
    const FontCase cases[] = {
        {L"mainWnd.xml", {37, 17, 15}, false},
        {L"DownloadWnd.xml", {37, 17, 15}, false},
        {L"CompleteWnd.xml", {37, 17, 15}, false},
        {L"msg.xml", {14, 16, 18}, true},
        {L"msg2.xml", {14, 16, 18}, true},
    };
    for (const FontCase& c : cases) {
        auto built = BuildSkinLayout(c.file);
        for (int id = 1; id <= 3; ++id) {
            SCOPED_TRACE(CDuiString(c.file).ToUtf8() + " font " + std::to_string(id));
            ASSERT_TRUE(built.manager->HasFont(id));
            const TFontInfo& font = built.manager->GetFontInfo(id);
            EXPECT_EQ(font.sFontName, L"黑体");
            EXPECT_EQ(font.iSize, c.sizes[id - 1]);
            EXPECT_EQ(font.bBold, c.bold);
        }
        EXPECT_FALSE(built.manager->HasFont(4));
    }
}

} // namespace
