// Painting through the paint manager into images: the progress bar, button states, sliced
// images, text with the CJK font, inline markup.
#include "skin_fixture.h"

#include "dui/attributes.h"
#include "dui/painting.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QColor PixelAt(const QImage& image, int x, int y) { return QColor::fromRgba(image.pixel(x, y)); }

bool IsBlue(const QColor& c) { return c.blue() > 180 && c.red() < 120; }

TEST(Painting, ProgressBarFillsUpToItsValue)
{
    auto built = BuildSkinLayout(L"DownloadWnd.xml");
    ASSERT_TRUE(built.root);
    auto* bar = static_cast<CProgressUI*>(built.manager->FindControl(L"progressBar"));
    ASSERT_TRUE(bar);
    const RECT pos = bar->GetPos();
    const int y = (pos.top + pos.bottom) / 2;
    for (const int value : {0, 42, 100}) {
        SCOPED_TRACE(value);
        bar->SetValue(value);
        const RECT filled = bar->FilledRect();
        EXPECT_EQ(filled.right - filled.left, 520 * value / 100);
        QImage image;
        ASSERT_TRUE(built.manager->RenderToImage(image));
        // Just inside and just outside the filled part.
        if (value > 2) {
            EXPECT_TRUE(IsBlue(PixelAt(image, filled.right - 2, y)));
        }
        if (value < 98) {
            EXPECT_FALSE(IsBlue(PixelAt(image, filled.right + 2, y)));
        }
    }
    bar->SetValue(250);
    EXPECT_EQ(bar->GetValue(), 100);
    bar->SetValue(-5);
    EXPECT_EQ(bar->GetValue(), 0);
}

TEST(Painting, ButtonImagesFollowHotAndPushedStates)
{
    auto built = BuildSkinLayout(L"mainWnd.xml");
    ASSERT_TRUE(built.root);
    auto* start = static_cast<CButtonUI*>(built.manager->FindControl(L"btnStart"));
    ASSERT_TRUE(start);
    const RECT pos = start->GetPos();
    const POINT inside{pos.left + 5, pos.top + 5};
    const POINT outside{pos.left - 20, pos.top - 20};
    const auto paintAt = [&] {
        QImage image;
        built.manager->RenderToImage(image);
        return PixelAt(image, inside.x, inside.y);
    };
    const QColor normal = paintAt();
    EXPECT_EQ(start->CurrentImage(), start->GetNormalImage());

    TEventUI event;
    event.ptMouse = inside;
    event.Type = UIEVENT_MOUSEENTER;
    start->DoEvent(event);
    EXPECT_TRUE(start->GetButtonState() & UISTATE_HOT);
    EXPECT_EQ(start->CurrentImage(), start->GetHotImage());
    const QColor hot = paintAt();
    EXPECT_NE(hot, normal);

    event.Type = UIEVENT_BUTTONDOWN;
    start->DoEvent(event);
    EXPECT_EQ(start->CurrentImage(), start->GetPushedImage());

    // Dragged off while pressed: drawn released; back on: pressed again.
    event.Type = UIEVENT_MOUSEMOVE;
    event.ptMouse = outside;
    start->DoEvent(event);
    EXPECT_FALSE(start->GetButtonState() & UISTATE_PUSHED);
    event.ptMouse = inside;
    start->DoEvent(event);
    EXPECT_TRUE(start->GetButtonState() & UISTATE_PUSHED);

    event.Type = UIEVENT_MOUSELEAVE;
    event.ptMouse = outside;
    start->DoEvent(event);
    event.Type = UIEVENT_BUTTONUP;
    start->DoEvent(event);
    EXPECT_EQ(start->GetButtonState(), 0u);
    EXPECT_EQ(paintAt(), normal);

    start->SetEnabled(false);
    event.Type = UIEVENT_MOUSEENTER;
    event.ptMouse = inside;
    start->DoEvent(event);
    EXPECT_EQ(start->GetButtonState(), 0u);
}

TEST(Painting, SlicedImageKeepsItsCornersAtAnyLength)
{
    PrepareSkinTests();
    // 20 x 8: red 4-pixel ends, green middle.
    QImage source(20, 8, QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::green);
    for (int y = 0; y < 8; ++y)
        for (int x : {0, 1, 2, 3, 16, 17, 18, 19})
            source.setPixel(x, y, qRgb(255, 0, 0));
    QImage target(100, 8, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    {
        QPainter painter(&target);
        dui::DrawImage(painter, source, dui::ParseImageSpec(L"file='x.png' corner='4,0,4,0'"), QRect(0, 0, 100, 8));
    }
    for (int x : {0, 3, 96, 99})
        EXPECT_EQ(PixelAt(target, x, 4), QColor(Qt::red)) << x;
    for (int x : {5, 50, 94})
        EXPECT_EQ(PixelAt(target, x, 4), QColor(Qt::green)) << x;
}

TEST(Painting, LabelTextIsDrawnWithTheCjkFace)
{
    auto built = BuildSkinLayout(L"DownloadWnd.xml");
    ASSERT_TRUE(built.root);
    // "黑体" has no alias here: the font must resolve to the CJK face, not a Latin fallback.
    const QFontInfo info(built.manager->GetQFont(2));
    EXPECT_TRUE(info.family().contains(QStringLiteral("WenQuanYi"))) << info.family().toStdString();
    EXPECT_EQ(info.pixelSize(), 17);

    auto* status = static_cast<CLabelUI*>(built.manager->FindControl(L"edtStatus"));
    ASSERT_TRUE(status);
    const RECT pos = status->GetPos();
    const auto darkPixels = [&] {
        QImage image;
        built.manager->RenderToImage(image);
        int dark = 0;
        for (int y = pos.top; y < pos.bottom; ++y)
            for (int x = pos.left; x < pos.right; ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        return dark;
    };
    EXPECT_EQ(darkPixels(), 0);
    status->SetText(L"正在下载文件：42%");
    EXPECT_GT(darkPixels(), 50);
}

TEST(Painting, MarkupBecomesHtml)
{
    const struct {
        const wchar_t* markup;
        const char* html;
    } cases[] = {
        {L"plain", "plain"},
        {L"a{b}bold{/b}c", "a<b>bold</b>c"},
        {L"<b>x</b>", "<b>x</b>"},
        {L"one{n}two", "one<br/>two"},
        {L"{c #FFFF0000}red{/c}", "<span style=\"color:#ff0000\">red</span>"},
        {L"1 < 2 & {unknown}", "1 &lt; 2 &amp; {unknown}"},
        {L"<script>", "&lt;script&gt;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dui::ConvertMarkup(c.markup).toStdString(), c.html) << c.html;
}

TEST(Attributes, ImageSpecsColoursAndRectangles)
{
    const auto plain = dui::ParseImageSpec(L"images/bkg.png");
    EXPECT_EQ(plain.file, L"images/bkg.png");
    EXPECT_FALSE(plain.hasSource);
    const auto full = dui::ParseImageSpec(L"file='images/a.png' source='0,0,10,8' corner='4,0,4,0'");
    EXPECT_EQ(full.file, L"images/a.png");
    EXPECT_TRUE(full.hasSource);
    EXPECT_EQ(full.source.right, 10);
    EXPECT_EQ(full.corner.left, 4);
    EXPECT_EQ(full.corner.right, 4);
    EXPECT_EQ(dui::ParseImageSpec(L"file=\"b.png\"").file, L"b.png");

    EXPECT_EQ(dui::ParseColor(L"#FF102030"), 0xFF102030u);
    EXPECT_EQ(dui::ParseColor(L"#102030"), 0xFF102030u);
    EXPECT_EQ(dui::ParseColor(L"0x80102030"), 0x80102030u);
    EXPECT_FALSE(dui::ParseColor(L"red"));
    EXPECT_FALSE(dui::ParseColor(L"#12345"));
    EXPECT_FALSE(dui::ParseColor(L"#GG102030"));

    const RECT rc = dui::ParseRect(L"1, 2,3");
    EXPECT_EQ(rc.left, 1);
    EXPECT_EQ(rc.top, 2);
    EXPECT_EQ(rc.right, 3);
    EXPECT_EQ(rc.bottom, 0);
    EXPECT_EQ(dui::ParseInt(L"x", 7), 7);
}

} // namespace
