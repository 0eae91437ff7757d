#include "icons/Path.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::Text;

namespace {

enum Flags
{
    kUnc = 1,
    kDrive = 2,
    kRooted = 4,
    kRelative = 8,
};

int FlagsOf(const CPath& path)
{
    return (path.IsUNC() ? kUnc : 0) | (path.HasDrive() ? kDrive : 0) |
           (path.IsRooted() ? kRooted : 0) | (path.IsRelative() ? kRelative : 0);
}

std::vector<std::wstring> ComponentsOf(const CPath& path)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < path.GetCount(); ++i)
        names.push_back(Text(path.GetComponent(i).GetName()));
    return names;
}

}  // namespace

TEST(Path, WellFormedTextsParseAndRender)
{
    const struct
    {
        const wchar_t* text;
        int flags;
        std::vector<std::wstring> components;
        const wchar_t* rendered;
    } examples[] = {
        {L"C:\\Program Files\\a,b\\app.exe", kDrive | kRooted, {L"C:", L"Program Files", L"a,b", L"app.exe"}, NULL},
        {L"C:\\", kDrive | kRooted, {L"C:"}, NULL},
        {L"C:", kDrive | kRelative, {L"C:"}, NULL},
        {L"1:\\dir\\", kDrive | kRooted, {L"1:", L"dir"}, L"1:\\dir"},
        {L"\\\\\\server\\share\\", kUnc | kRooted, {L"server", L"share"}, L"\\\\server\\share"},
        {L"\\dir\\f.exe", kRooted | kRelative, {L"dir", L"f.exe"}, NULL},
        {L"%ProgramFiles%\\a b\\*?;.exe", kRelative, {L"%ProgramFiles%", L"a b", L"*?;.exe"}, NULL},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(example.text);
        CPath path;
        CPathException error(99);
        ASSERT_TRUE(path.Parse(example.text, &error));
        EXPECT_EQ(99, error.m_nCode) << "the record is left alone on success";
        EXPECT_EQ(example.flags, FlagsOf(path));
        EXPECT_EQ(example.components, ComponentsOf(path));
        EXPECT_EQ(example.rendered != NULL ? example.rendered : example.text, Text(path.ToString()));
    }
}

TEST(Path, MalformedTextsFailAndLeaveNothing)
{
    const std::wstring name260(260, L'n'), server64(64, L's');
    const std::wstring rejected[] = {
        L"\\", L"\\\\", L"C:\\\\dir", L"C:dir", L":a", L"\"C:\\x.exe\"", L"C:\\a/b", L"a|b", L"\\\\srv,1\\share",
        L"C:\\" + name260 + L"n", L"\\\\" + server64 + L"s\\share",
    };
    for (const std::wstring& text : rejected) {
        SCOPED_TRACE(text);
        CPath path;
        ASSERT_TRUE(path.Parse(L"C:\\a\\b", NULL));
        CPathException error(99);
        EXPECT_FALSE(path.Parse(text.c_str(), &error));
        EXPECT_EQ(CPathException::invalidComponent, error.m_nCode);
        EXPECT_EQ(0, path.GetCount());
        EXPECT_EQ(0, FlagsOf(path));
    }

    CPath path;
    EXPECT_TRUE(path.Parse((L"C:\\" + name260).c_str(), NULL));
    EXPECT_TRUE(path.Parse((L"\\\\" + server64 + L"\\share").c_str(), NULL));
    // The server rule applies to the first component of a UNC path only.
    EXPECT_TRUE(path.Parse((L"\\\\srv\\" + server64 + L"s,=+").c_str(), NULL));
    // A later parse replaces the whole content, an empty text with nothing.
    for (const wchar_t* empty : {L"", static_cast<const wchar_t*>(NULL)}) {
        ASSERT_TRUE(path.Parse(L"C:\\a", NULL));
        EXPECT_TRUE(path.Parse(empty, NULL));
        EXPECT_EQ(0, path.GetCount());
        EXPECT_TRUE(path.ToString().IsEmpty());
    }
}
