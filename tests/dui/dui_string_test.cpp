// CDuiString: comparisons, slicing, concatenation and UTF-8 conversion.
#include "dui/dui_string.h"

#include <gtest/gtest.h>

namespace {

TEST(DuiString, ComparesAndSlices)
{
    const CDuiString name(L"closebtn");
    EXPECT_EQ(name.CompareNoCase(L"CloseBtn"), 0);
    EXPECT_NE(name.Compare(L"CloseBtn"), 0);
    EXPECT_LT(name.CompareNoCase(L"closebtn2"), 0);
    EXPECT_TRUE(name == L"closebtn");
    EXPECT_TRUE(name != CDuiString(L"minbtn"));
    EXPECT_EQ(name.Left(5), L"close");
    EXPECT_EQ(name.Left(50), L"closebtn");
    EXPECT_EQ(name.Left(-1), L"");
    EXPECT_EQ(name.GetAt(100), L'\0');
    EXPECT_EQ(CDuiString(L"C:\\a\\b.exe").ReverseFind(L'\\'), 4);
}

TEST(DuiString, ConcatenatesAndConverts)
{
    EXPECT_EQ(CDuiString(L"D:") + L"\\kelvo\\", L"D:\\kelvo\\");
    EXPECT_EQ(L"x" + CDuiString(L"y"), L"xy");
    const CDuiString chinese = CDuiString::FromUtf8("安装完成");
    EXPECT_EQ(chinese, L"安装完成");
    EXPECT_EQ(chinese.ToUtf8(), "安装完成");
    EXPECT_EQ(CDuiString(static_cast<LPCTSTR>(nullptr)), L"");
}

} // namespace
