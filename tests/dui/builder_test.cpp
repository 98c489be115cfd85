// The layout builder on hand-written layouts: sizes shared by fixed and flexible children,
// padding, inset and child padding, window attributes, and layouts it must refuse or skip.
#include "skin_fixture.h"

#include <gtest/gtest.h>

namespace {

struct Built {
    CPaintManagerUI manager;
    CControlUI* root = nullptr;
    CDuiString error;
};

void Build(Built& built, const char* xml)
{
    PrepareSkinTests();
    CDialogBuilder builder;
    built.root = builder.CreateFromXml(xml, &built.manager);
    built.error = builder.GetLastError();
    built.manager.AttachDialog(built.root);
    built.manager.UpdateLayout();
}

RECT Pos(Built& built, const wchar_t* name)
{
    const CControlUI* control = built.manager.FindControl(name);
    EXPECT_TRUE(control) << CDuiString(name).ToUtf8();
    return control ? control->GetPos() : RECT{};
}

void ExpectRect(const RECT& rc, int left, int top, int right, int bottom)
{
    EXPECT_EQ(rc.left, left);
    EXPECT_EQ(rc.top, top);
    EXPECT_EQ(rc.right, right);
    EXPECT_EQ(rc.bottom, bottom);
}

TEST(DialogBuilder, FixedAndFlexibleChildrenWithPaddingAndInsets)
{
    Built built;
    Build(built, R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="300,200" caption="0,0,0,30">
  <VerticalLayout inset="10,10,10,10" childpadding="5">
    <Label name="top" height="20" />
    <HorizontalLayout name="row" childpadding="4">
      <Control name="a" width="50" padding="3,0,2,0" />
      <Control name="b" />
      <Control name="c" />
      <Button name="d" width="30" height="12" />
    </HorizontalLayout>
    <Text name="bottom" height="40" width="100" padding="0,2,0,0" />
  </VerticalLayout>
</Window>)");
    ASSERT_TRUE(built.root) << built.error.ToUtf8();
    ExpectRect(Pos(built, L"top"), 10, 10, 290, 30);
    // 200 - 20 insets - 20 - 42 (40 + 2 padding) - 10 child padding = 108 for the row.
    ExpectRect(Pos(built, L"row"), 10, 35, 290, 143);
    ExpectRect(Pos(built, L"bottom"), 10, 150, 110, 190);
    // 280 - 55 (50 + 5 padding) - 30 - 12 child padding = 183 for b and c: 92 and 91.
    ExpectRect(Pos(built, L"a"), 13, 35, 63, 143);
    ExpectRect(Pos(built, L"b"), 69, 35, 161, 143);
    ExpectRect(Pos(built, L"c"), 165, 35, 256, 143);
    ExpectRect(Pos(built, L"d"), 260, 35, 290, 47);
}

TEST(DialogBuilder, HiddenChildrenGiveTheirSpaceAway)
{
    Built built;
    Build(built, R"(<Window size="100,10"><HorizontalLayout>
      <Control name="a" /><Control name="b" visible="false" /><Control name="c" />
    </HorizontalLayout></Window>)");
    ASSERT_TRUE(built.root);
    ExpectRect(Pos(built, L"a"), 0, 0, 50, 10);
    ExpectRect(Pos(built, L"c"), 50, 0, 100, 10);
    built.manager.FindControl(L"b")->SetVisible(true);
    built.manager.UpdateLayout();
    EXPECT_EQ(Pos(built, L"c").left, 67);
}

TEST(DialogBuilder, WindowAttributesAndFonts)
{
    Built built;
    Build(built, R"(<Window size="360,200" caption="25" roundcorner="5,5" mininfo="300,150">
      <Font id="7" name="SimHei" size="21" bold="true" underline="true" />
      <Font name="no id" size="9" />
      <Control /></Window>)");
    ASSERT_TRUE(built.root);
    EXPECT_EQ(built.manager.GetCaptionRect().bottom, 25);
    EXPECT_EQ(built.manager.GetRoundCorner().cx, 5);
    EXPECT_EQ(built.manager.GetMinInfo().cy, 150);
    const TFontInfo& font = built.manager.GetFontInfo(7);
    EXPECT_EQ(font.sFontName, L"SimHei");
    EXPECT_EQ(font.iSize, 21);
    EXPECT_TRUE(font.bBold);
    EXPECT_TRUE(font.bUnderline);
    // Unknown ids fall back to the default font.
    EXPECT_FALSE(built.manager.HasFont(8));
    EXPECT_EQ(built.manager.GetFontInfo(8).sFontName, L"黑体");
}

TEST(DialogBuilder, UnknownElementsAreSkippedWithTheirChildren)
{
    Built built;
    Build(built, R"(<Window size="100,100"><VerticalLayout>
      <Slider name="s"><Button name="inside" /></Slider>
      <Button name="kept" />
    </VerticalLayout><VerticalLayout name="second root" /></Window>)");
    ASSERT_TRUE(built.root);
    EXPECT_EQ(built.manager.FindControl(L"s"), nullptr);
    EXPECT_EQ(built.manager.FindControl(L"inside"), nullptr);
    EXPECT_EQ(built.manager.FindControl(L"second root"), nullptr);
    ExpectRect(Pos(built, L"kept"), 0, 0, 100, 100);
}

class SliderUI : public CControlUI {
public:
    LPCTSTR GetClass() const override { return L"SliderUI"; }
};

TEST(DialogBuilder, CallbackBuildsClassesTheBuilderDoesNotKnow)
{
    struct Callback : IDialogBuilderCallback {
        CControlUI* CreateControl(LPCTSTR className) override
        {
            return CDuiString(className) == L"Slider" ? new SliderUI : nullptr;
        }
    } callback;
    PrepareSkinTests();
    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.CreateFromXml(
        R"(<Window size="10,10"><HorizontalLayout><Slider name="s" /></HorizontalLayout></Window>)", &manager,
        &callback);
    manager.AttachDialog(root);
    ASSERT_TRUE(manager.FindControl(L"s"));
    EXPECT_STREQ(manager.FindControl(L"s")->GetClass(), L"SliderUI");
}

TEST(DialogBuilder, RefusesBrokenOrMissingLayouts)
{
    PrepareSkinTests();
    const char* broken[] = {
        "<Window size=\"10,10\"><VerticalLayout></Window>",
        "not xml at all",
        "<Window size=\"10,10\"></Window>",
        "",
    };
    for (const char* xml : broken) {
        CPaintManagerUI manager;
        CDialogBuilder builder;
        EXPECT_EQ(builder.CreateFromXml(xml, &manager), nullptr) << xml;
        EXPECT_FALSE(builder.GetLastError().IsEmpty()) << xml;
    }
    auto built = BuildSkinLayout(L"mainWnd.xml");
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create(L"nosuch.xml", built.manager.get()), nullptr);
    EXPECT_NE(builder.GetLastError().str().find(L"nosuch.xml"), std::wstring::npos);
}

TEST(DialogBuilder, FindsControlsByNameWithoutRegardToCaseAndByPoint)
{
    auto built = BuildSkinLayout(L"mainWnd.xml");
    ASSERT_TRUE(built.root);
    CControlUI* start = built.manager->FindControl(L"btnStart");
    ASSERT_TRUE(start);
    EXPECT_EQ(built.manager->FindControl(L"BTNSTART"), start);
    const RECT pos = start->GetPos();
    EXPECT_EQ(built.manager->FindControl(POINT{(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2}), start);
    // Off the buttons, the deepest control under the point answers.
    CControlUI* background = built.manager->FindControl(POINT{5, 300});
    ASSERT_TRUE(background);
    EXPECT_FALSE(background->IsMouseEnabled());
}

// Numbers past any real window are held at 65536 (never wrapped to small or negative ones),
// and the layout's sums of them stay exact.
TEST(DialogBuilder, HugeNumbersAreHeldAtTheLargestLength)
{
    Built built;
    Build(built, R"(<Window size="100,4294967296"><HorizontalLayout childpadding="99999999999">
      <Control name="a" width="2147483647" /><Control name="b" width="4294967296" padding="5,0,5,0" />
      <Control name="c" height="-99999999999" /></HorizontalLayout></Window>)");
    ASSERT_TRUE(built.root) << built.error.ToUtf8();
    EXPECT_EQ(built.manager.GetInitSize().cy, 65536);
    ExpectRect(Pos(built, L"a"), 0, 0, 65536, 65536);
    ExpectRect(Pos(built, L"b"), 65536 * 2 + 5, 0, 65536 * 3 + 5, 65536);
    EXPECT_EQ(Pos(built, L"c").left, 65536 * 4 + 10);
}

} // namespace
