#include "icons/Path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

enum Flags
{
    UNC = 1,
    DRIVE = 2,
    ROOTED = 4,
    RELATIVE = 8,
};

int FlagsOf(const CPath& path)
{
    return (path.IsUNC() ? UNC : 0) | (path.HasDrive() ? DRIVE : 0) |
           (path.IsRooted() ? ROOTED : 0) | (path.IsRelative() ? RELATIVE : 0);
}

std::wstring Str(const CWideString& str)
{
    return str.GetText() != NULL ? std::wstring(str.GetText()) : std::wstring();
}

std::vector<std::wstring> ComponentsOf(const CPath& path)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < path.GetCount(); ++i)
        names.push_back(Str(path.GetComponent(i).GetName()));
    return names;
}

void ExpectEmpty(const CPath& path)
{
    EXPECT_EQ(0, path.GetCount());
    EXPECT_EQ(0, FlagsOf(path));
    EXPECT_TRUE(path.ToString().IsEmpty());
}

struct WorkedExample
{
    const wchar_t* text;
    int flags;
    std::vector<std::wstring> components;
    const wchar_t* rendered;
};

}  // namespace

TEST(Path, WorkedExamples)
{
    const WorkedExample examples[] = {
        {L"C:\\Program Files\\App\\app.exe", DRIVE | ROOTED,
         {L"C:", L"Program Files", L"App", L"app.exe"}, L"C:\\Program Files\\App\\app.exe"},
        {L"C:\\", DRIVE | ROOTED, {L"C:"}, L"C:\\"},
        {L"C:", DRIVE | RELATIVE, {L"C:"}, L"C:"},
        {L"C:\\dir\\", DRIVE | ROOTED, {L"C:", L"dir"}, L"C:\\dir"},
        {L"\\\\server\\share\\f.ico", UNC | ROOTED, {L"server", L"share", L"f.ico"},
         L"\\\\server\\share\\f.ico"},
        {L"\\\\\\server\\share", UNC | ROOTED, {L"server", L"share"}, L"\\\\server\\share"},
        {L"\\\\server", UNC | ROOTED, {L"server"}, L"\\\\server"},
        {L"\\\\server\\", UNC | ROOTED, {L"server"}, L"\\\\server"},
        {L"\\dir\\f.exe", ROOTED | RELATIVE, {L"dir", L"f.exe"}, L"\\dir\\f.exe"},
        {L"f.exe", RELATIVE, {L"f.exe"}, L"f.exe"},
        {L"1:", DRIVE | RELATIVE, {L"1:"}, L"1:"},
        {L"C:\\a,b\\x.exe", DRIVE | ROOTED, {L"C:", L"a,b", L"x.exe"}, L"C:\\a,b\\x.exe"},
        {L"%ProgramFiles%\\a b\\*?;.exe", RELATIVE, {L"%ProgramFiles%", L"a b", L"*?;.exe"},
         L"%ProgramFiles%\\a b\\*?;.exe"},
    };
    for (const WorkedExample& example : examples) {
        SCOPED_TRACE(example.text);
        CPath path;
        CPathException error(99);
        ASSERT_TRUE(path.Parse(example.text, &error));
        EXPECT_EQ(99, error.m_nCode) << "the record is left alone on success";
        EXPECT_EQ(example.flags, FlagsOf(path));
        EXPECT_EQ(example.components, ComponentsOf(path));
        EXPECT_EQ(std::wstring(example.rendered), Str(path.ToString()));
    }
}

TEST(Path, MalformedTextsFailWithInvalidComponent)
{
    const std::wstring name260(260, L'n');
    const std::wstring server64(64, L's');
    const std::wstring rejected[] = {
        L"\\", L"\\\\", L"\\\\\\",       // backslashes only
        L"C:\\\\dir", L"C:\\dir\\\\",   // doubled separators after the start
        L"C:dir", L"::", L":", L":a",    // colons outside the drive form
        L"\"C:\\x.exe\"", L"C:\\a/b", L"a|b", L"a<b", L"a>b",
        L"\\\\srv,1\\share", L"\\\\a:b\\share", L"\\\\a=b", L"\\\\a+b", L"\\\\a*b",
        L"\\\\a?b", L"\\\\a;b", L"\\\\[a]",
        L"C:\\" + name260 + L"n",
        L"\\\\" + server64 + L"s\\share",
    };
    for (const std::wstring& text : rejected) {
        SCOPED_TRACE(text);
        CPath path;
        CPathException error(99);
        EXPECT_FALSE(path.Parse(text.c_str(), &error));
        EXPECT_EQ(CPathException::invalidComponent, error.m_nCode);
        ExpectEmpty(path);
    }

    CPath path;
    EXPECT_TRUE(path.Parse((L"C:\\" + name260).c_str(), NULL));
    EXPECT_TRUE(path.Parse((L"\\\\" + server64 + L"\\share").c_str(), NULL));
    // The server limit applies to the first component of a UNC path only.
    EXPECT_TRUE(path.Parse((L"\\\\srv\\" + server64 + L"s,=+").c_str(), NULL));
}

TEST(Path, EveryParseReplacesTheWholeContent)
{
    CPath path;
    ASSERT_TRUE(path.Parse(L"\\\\server\\share\\dir", NULL));
    EXPECT_FALSE(path.Parse(L"\\\\server\\share\\\\dir", NULL));
    ExpectEmpty(path);

    ASSERT_TRUE(path.Parse(L"C:\\a\\b", NULL));
    EXPECT_TRUE(path.Parse(L"x", NULL));
    EXPECT_EQ(RELATIVE, FlagsOf(path));
    EXPECT_EQ(std::vector<std::wstring>{L"x"}, ComponentsOf(path));

    for (const wchar_t* empty : {L"", static_cast<const wchar_t*>(NULL)}) {
        ASSERT_TRUE(path.Parse(L"C:\\a", NULL));
        EXPECT_TRUE(path.Parse(empty, NULL));
        ExpectEmpty(path);
    }
}

// Random texts rich in separators, colons, quotes and over-long runs: no
// input escapes as an exception, a failure leaves nothing behind, and a
// success renders to a text that parses back to the same path.
TEST(Path, RandomTextsParseOrFailCleanlyAndRenderStably)
{
    std::mt19937 random(20240611u);
    const std::wstring pieces[] = {
        L"\\", L"\\", L"\\\\", L":", L"C:", L"C:\\", L"/", L"\"", L",", L"a", L"Zz", L" ",
        L".", L"*", L"%X%", L"=", L"+", L"[", std::wstring(64, L's'), std::wstring(65, L's'),
        std::wstring(259, L'n'), std::wstring(261, L'n'),
    };
    const size_t nPieces = sizeof(pieces) / sizeof(pieces[0]);
    int nParsed = 0;
    const int nTexts = 4000;
    for (int i = 0; i < nTexts; ++i) {
        std::wstring text;
        const int nCount = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < nCount; ++k)
            text += pieces[random() % nPieces];
        SCOPED_TRACE(text);

        CPath path;
        CPathException error(99);
        bool bParsed = false;
        ASSERT_NO_THROW(bParsed = path.Parse(text.c_str(), &error));
        if (!bParsed) {
            EXPECT_EQ(CPathException::invalidComponent, error.m_nCode);
            ExpectEmpty(path);
            continue;
        }
        ++nParsed;
        EXPECT_EQ(99, error.m_nCode);

        // Nothing is lost but the leading run and one trailing separator.
        std::wstring joined;
        for (const std::wstring& name : ComponentsOf(path))
            joined += (joined.empty() ? L"" : L"\\") + name;
        std::wstring expected = text.substr(text.find_first_not_of(L'\\'));
        if (expected.back() == L'\\')
            expected.pop_back();
        EXPECT_EQ(expected, joined);

        const std::wstring rendered = Str(path.ToString());
        CPath again;
        ASSERT_TRUE(again.Parse(rendered.c_str(), NULL)) << "rendered: " << rendered.size();
        EXPECT_EQ(ComponentsOf(path), ComponentsOf(again));
        EXPECT_EQ(FlagsOf(path), FlagsOf(again));
        EXPECT_EQ(rendered, Str(again.ToString()));
    }
    // The generator must reach both outcomes often enough to mean something.
    EXPECT_GT(nParsed, nTexts / 20);
    EXPECT_LT(nParsed, nTexts - nTexts / 20);
}
