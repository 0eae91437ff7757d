#include "icons/Path.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// Each text renders as itself once parsed, or as given, or it must not parse,
// which leaves the path empty. Every parse replaces the whole content.
TEST(Path, TextsParseAndRenderOrFailAndLeaveNothing)
{
    const std::wstring name260(260, L'n'), server64(64, L's');
    // The server rule applies to the first component of a UNC path only.
    const std::wstring same[] = {L"C:\\Program Files\\a,b\\app.exe", L"C:\\", L"C:", L"\\dir\\f.exe", L"",
                                 L"%ProgramFiles%\\a b\\*?;.exe", L"C:\\" + name260, L"\\\\" + server64 + L"\\share",
                                 L"\\\\srv\\" + server64 + L"s,=+"};
    const std::wstring rejected[] = {L"\\", L"\\\\", L"C:\\\\dir", L"C:dir", L":a", L"\"C:\\x.exe\"", L"C:\\a/b", L"a|b",
                                     L"\\\\srv,1\\share", L"C:\\" + name260 + L"n", L"\\\\" + server64 + L"s\\share"};
    std::vector<std::pair<std::wstring, std::wstring>> cases = {{L"1:\\dir\\", L"1:\\dir"},
                                                                {L"\\\\\\server\\share\\", L"\\\\server\\share"}};
    for (const std::wstring& text : same)
        cases.push_back({text, text});
    for (const std::wstring& text : rejected)
        cases.push_back({text, L"!"});
    CPath path;
    for (const auto& [text, rendered] : cases) {
        ASSERT_TRUE(path.Parse(L"C:\\a\\b", NULL));
        EXPECT_EQ(rendered != L"!", path.Parse(text.c_str(), NULL)) << text;
        EXPECT_EQ(rendered != L"!" ? rendered : L"", testsupport::Text(path.ToString())) << text;
    }
    EXPECT_TRUE(path.Parse(static_cast<const wchar_t*>(NULL), NULL));
    EXPECT_EQ(0, path.GetCount());
}
