#include "base/WideString.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::Text;

namespace {

// No buffer when empty, or a terminated text inside its buffer.
::testing::AssertionResult IsConsistent(const CWideString& s)
{
    const int nLength = s.GetLength();
    if (s.GetText() == NULL ? nLength != 0 || s.GetCapacity() != 0
                            : nLength >= s.GetCapacity() || s.GetText()[nLength] != 0 || s.GetLength(true) != nLength + 1)
        return ::testing::AssertionFailure() << "length " << nLength << ", capacity " << s.GetCapacity();
    return ::testing::AssertionSuccess();
}

}  // namespace

// Grown a character at a time past every step of its capacity, or made at
// that length: the terminator always finds room.
TEST(WideString, TextsOfAnyLengthKeepRoomForTheTerminator)
{
    CWideString s;
    std::wstring expected;
    for (int i = 0; i < 1100; ++i) {
        s += static_cast<wchar_t>(L'a' + i % 26);
        expected += static_cast<wchar_t>(L'a' + i % 26);
        ASSERT_EQ(expected, Text(s));
        ASSERT_TRUE(IsConsistent(s)) << i;
        ASSERT_TRUE(IsConsistent(CWideString(expected.c_str()))) << i;
    }
}

// Emptied in every way, a text shows none of what it held.
TEST(WideString, EmptiedTextsAreEmptyAndArgumentsStayInsideTheText)
{
    for (int i = 0; i < 3; ++i) {
        CWideString s(i < 2 ? L"held text" : L"\\\\\\");
        if (i == 0)
            s = L"";
        else if (i == 1)
            s = static_cast<const wchar_t*>(NULL);
        else
            s.TrimRight(L'\\');
        s += L"";
        s += CWideString();
        EXPECT_EQ(0, s.GetLength()) << i;
        EXPECT_TRUE(IsConsistent(s)) << i;
    }

    const CWideString t(L"abcdef");
    EXPECT_EQ(0, t.GetAt(-1));
    EXPECT_EQ(0, t.GetAt(6));
    EXPECT_EQ(-1, t.Find(L'a', -1));
    EXPECT_EQ(-1, t.Find(L'f', 6));
    EXPECT_EQ(L"ef", Text(t.Mid(4, 10)));
    EXPECT_EQ(L"ab", Text(t.Mid(-3, 2)));
    for (const CWideString& empty : {t.Mid(6, 1), t.Mid(1, -2), t.Left(-1)})
        EXPECT_TRUE(empty.IsEmpty() && IsConsistent(empty));
    EXPECT_EQ(L"abcdef", Text(t.Left(10)));
}

// Its own text, or a part of it, as the source of an assignment or append.
TEST(WideString, OwnTextAsSourceGivesTheRightText)
{
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
