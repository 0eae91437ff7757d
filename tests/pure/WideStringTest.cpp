#include "base/WideString.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::Text;

// No buffer when empty, or a terminated text inside its buffer.
static ::testing::AssertionResult IsConsistent(const CWideString& s)
{
    const int nLength = s.GetLength();
    if (s.GetText() == NULL ? nLength != 0 || s.GetCapacity() != 0
                            : nLength >= s.GetCapacity() || s.GetText()[nLength] != 0 || s.GetLength(true) != nLength + 1)
        return ::testing::AssertionFailure() << "length " << nLength << ", capacity " << s.GetCapacity();
    return ::testing::AssertionSuccess();
}

// Grown a character at a time past every step of its capacity, or made at
// that length: the terminator always finds room.
TEST(WideString, TextsOfAnyLengthKeepRoomForTheTerminator)
{
    CWideString s;
    std::wstring expected;
    for (int i = 0; i < 1100; ++i) {
        expected += static_cast<wchar_t>(L'a' + i % 26);
        s += expected.back();
        ASSERT_EQ(expected, Text(s));
        ASSERT_TRUE(IsConsistent(s) && IsConsistent(CWideString(expected.c_str()))) << i;
    }
}

// Emptied in every way, a text shows none of what it held; arguments outside
// a text reach nothing beyond it; its own text may be the source.
TEST(WideString, EmptiedArgumentsOutsideAndOwnText)
{
    CWideString emptied[3] = {L"held text", L"held text", L"\\\\\\"};
    emptied[0] = L"";
    emptied[1] = static_cast<const wchar_t*>(NULL);
    emptied[2].TrimRight(L'\\');
    for (CWideString& s : emptied) {
        s += L"";
        s += CWideString();
        EXPECT_TRUE(s.GetLength() == 0 && IsConsistent(s));
    }

    const CWideString t(L"abcdef");
    EXPECT_EQ(0, t.GetAt(-1) + t.GetAt(6));
    EXPECT_EQ(-1, t.Find(L'a', -1));
    EXPECT_EQ(-1, t.Find(L'f', 6));
    EXPECT_EQ(L"ef", Text(t.Mid(4, 10)));
    EXPECT_EQ(L"ab", Text(t.Mid(-3, 2)));
    EXPECT_EQ(L"abcdef", Text(t.Left(10)));
    for (const CWideString& empty : {t.Mid(6, 1), t.Mid(1, -2), t.Left(-1)})
        EXPECT_TRUE(empty.IsEmpty() && IsConsistent(empty));

    CWideString s(L"abcdefgh");
    s += s;
    s += s.GetText() + 8;
    s += s.GetText() + 16;
    EXPECT_EQ(L"abcdefghabcdefghabcdefghabcdefgh", Text(s));
    s = s.GetText() + 27;
    s = s;
    EXPECT_EQ(L"defgh", Text(s));
    EXPECT_TRUE(IsConsistent(s));
}
