// CDuiString: formatting as the Windows wide printf family does, comparisons, slicing.
#include "dui/dui_string.h"

#include <gtest/gtest.h>

namespace {

TEST(DuiString, FormatTakesWideStringsForPercentS)
{
    CDuiString text;
    EXPECT_EQ(text.Format(L"正在下载文件：%d%%", 42), 10);
    EXPECT_EQ(text, L"正在下载文件：42%");
    text.Format(L"正在写入文件%6.2lf%%", 7.5);
    EXPECT_EQ(text, L"正在写入文件  7.50%");
    text.Format(L"[%s|%hs|%c|%5s|%-3s]", L"宽", "narrow", L'字', L"ab", L"x");
    EXPECT_EQ(text, L"[宽|narrow|字|   ab|x  ]");
    text.Format(L"%ls %S", L"wide", "narrow");
    EXPECT_EQ(text, L"wide narrow");
    text.Format(L"%lld %u %x", 5000000000LL, 7u, 255u);
    EXPECT_EQ(text, L"5000000000 7 ff");
}

TEST(DuiString, FormatGrowsPastItsFirstBuffer)
{
    const std::wstring long_text(5000, L'字');
    CDuiString text;
    EXPECT_EQ(text.Format(L"<%s>", long_text.c_str()), 5002);
    EXPECT_EQ(text.GetLength(), 5002);
    EXPECT_EQ(text.Right(2), L"字>");
}

TEST(DuiString, ComparesAndSlices)
{
    const CDuiString name(L"closebtn");
    EXPECT_EQ(name.CompareNoCase(L"CloseBtn"), 0);
    EXPECT_NE(name.Compare(L"CloseBtn"), 0);
    EXPECT_LT(name.CompareNoCase(L"closebtn2"), 0);
    EXPECT_TRUE(name == L"closebtn");
    EXPECT_TRUE(name != CDuiString(L"minbtn"));
    EXPECT_EQ(name.Left(5), L"close");
    EXPECT_EQ(name.Mid(5), L"btn");
    EXPECT_EQ(name.Mid(5, 1), L"b");
    EXPECT_EQ(name.Mid(50), L"");
    EXPECT_EQ(name.Right(50), L"closebtn");
    EXPECT_EQ(name.Right(-1), L"");
    EXPECT_EQ(name.GetAt(100), L'\0');
    EXPECT_EQ(name.Find(L"btn"), 5);
    EXPECT_EQ(name.Find(L'z'), -1);
    EXPECT_EQ(name.Find(L'c', 99), -1);
    EXPECT_EQ(CDuiString(L"C:\\a\\b.exe").ReverseFind(L'\\'), 4);
}

TEST(DuiString, ReplacesConcatenatesAndConverts)
{
    CDuiString path(L"a\\b\\c");
    EXPECT_EQ(path.Replace(L"\\", L"/"), 2);
    EXPECT_EQ(path, L"a/b/c");
    EXPECT_EQ(path.Replace(L"", L"x"), 0);
    EXPECT_EQ(CDuiString(L"D:") + L"\\kelvo\\", L"D:\\kelvo\\");
    EXPECT_EQ(L"x" + CDuiString(L"y"), L"xy");
    const CDuiString chinese = CDuiString::FromUtf8("安装完成");
    EXPECT_EQ(chinese, L"安装完成");
    EXPECT_EQ(chinese.ToUtf8(), "安装完成");
    EXPECT_EQ(CDuiString(static_cast<LPCTSTR>(nullptr)), L"");
    EXPECT_EQ(CDuiString(L"abcdef", 3), L"abc");
    CDuiString upper(L"MixEd");
    upper.MakeUpper();
    EXPECT_EQ(upper, L"MIXED");
}

} // namespace
