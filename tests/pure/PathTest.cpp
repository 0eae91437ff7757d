#include "icons/Path.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

// Each text as it renders once parsed, or kRejected where it must not parse,
// which leaves the path empty. Every parse replaces the whole content.
TEST(Path, TextsParseAndRenderOrFailAndLeaveNothing)
{
    const std::wstring kRejected = L"!", name260(260, L'n'), server64(64, L's');
    const std::wstring cases[][2] = {
        {L"C:\\Program Files\\a,b\\app.exe", L"C:\\Program Files\\a,b\\app.exe"},
        {L"C:\\", L"C:\\"},
        {L"C:", L"C:"},
        {L"1:\\dir\\", L"1:\\dir"},
        {L"\\\\\\server\\share\\", L"\\\\server\\share"},
        {L"\\dir\\f.exe", L"\\dir\\f.exe"},
        {L"%ProgramFiles%\\a b\\*?;.exe", L"%ProgramFiles%\\a b\\*?;.exe"},
        {L"C:\\" + name260, L"C:\\" + name260},
        {L"\\\\" + server64 + L"\\share", L"\\\\" + server64 + L"\\share"},
        // The server rule applies to the first component of a UNC path only.
        {L"\\\\srv\\" + server64 + L"s,=+", L"\\\\srv\\" + server64 + L"s,=+"},
        {L"", L""},
        {L"\\", kRejected},
        {L"\\\\", kRejected},
        {L"C:\\\\dir", kRejected},
        {L"C:dir", kRejected},
        {L":a", kRejected},
        {L"\"C:\\x.exe\"", kRejected},
        {L"C:\\a/b", kRejected},
        {L"a|b", kRejected},
        {L"\\\\srv,1\\share", kRejected},
        {L"C:\\" + name260 + L"n", kRejected},
        {L"\\\\" + server64 + L"s\\share", kRejected},
    };
    CPath path;
    for (const auto& c : cases) {
        ASSERT_TRUE(path.Parse(L"C:\\a\\b", NULL));
        EXPECT_EQ(c[1] != kRejected, path.Parse(c[0].c_str(), NULL)) << c[0];
        EXPECT_EQ(c[1] != kRejected ? c[1] : L"", testsupport::Text(path.ToString())) << c[0];
    }
    EXPECT_TRUE(path.Parse(static_cast<const wchar_t*>(NULL), NULL));
    EXPECT_EQ(0, path.GetCount());
}
