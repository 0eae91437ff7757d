#include "base/WideString.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::Text;

namespace {

::testing::AssertionResult HoldsNoBuffer(const CWideString& s)
{
    if (s.GetText() != NULL || s.GetCapacity() != 0 || s.GetLength(true) != 0 || !s.IsEmpty())
        return ::testing::AssertionFailure() << "capacity " << s.GetCapacity();
    return ::testing::AssertionSuccess();
}

// No buffer, or a terminated text inside its buffer.
::testing::AssertionResult IsConsistent(const CWideString& s)
{
    if (s.GetText() == NULL)
        return HoldsNoBuffer(s);
    const int nLength = s.GetLength();
    if (nLength >= s.GetCapacity() || s.GetText()[nLength] != 0 || s.GetLength(true) != nLength + 1)
        return ::testing::AssertionFailure() << "length " << nLength << ", capacity " << s.GetCapacity();
    return ::testing::AssertionSuccess();
}

}  // namespace

// 16, 32, ... 512 characters, then one more than asked: the terminator
// always finds room, also when appends fill a buffer to its last character.
TEST(WideString, CapacityFollowsTheScheduleWithRoomForTheTerminator)
{
    const int anChars[][2] = {{1, 16}, {14, 16}, {15, 32}, {255, 512}, {510, 512}, {511, 513}, {999, 1001}};
    for (const auto& c : anChars) {
        CWideString s(std::wstring(c[0], L'a').c_str());
        EXPECT_EQ(c[1], s.GetCapacity()) << c[0];
        for (const wchar_t* pszAdded : {L"b", L"bb"}) {
            s += L'b';
            EXPECT_EQ(std::wstring(c[0], L'a') + pszAdded, Text(s)) << c[0];
            EXPECT_TRUE(IsConsistent(s)) << c[0];
        }
    }
}

TEST(WideString, EmptyTextsHoldNoBufferAndArgumentsStayInsideTheText)
{
    CWideString s(L"held text");
    s = L"";
    EXPECT_TRUE(HoldsNoBuffer(s));
    s = L"held text";
    s = static_cast<const wchar_t*>(NULL);
    s += L"";
    s += CWideString();
    EXPECT_TRUE(HoldsNoBuffer(s));
    // Trimmed to nothing: an empty text that keeps its buffer.
    s = L"\\\\\\";
    s.TrimRight(L'\\');
    ASSERT_NE(nullptr, s.GetText());
    EXPECT_TRUE(IsConsistent(s));

    const CWideString t(L"abcdef");
    EXPECT_EQ(0, t.GetAt(-1));
    EXPECT_EQ(0, t.GetAt(6));
    EXPECT_EQ(-1, t.Find(L'\0', 6));
    EXPECT_EQ(6, t.Find(L'\0', 2));
    EXPECT_EQ(-1, t.Find(L'a', -1));
    EXPECT_EQ(L"ef", Text(t.Mid(4, 10)));
    EXPECT_EQ(L"ab", Text(t.Mid(-3, 2)));
    EXPECT_TRUE(HoldsNoBuffer(t.Mid(6, 1)));
    EXPECT_TRUE(HoldsNoBuffer(t.Mid(1, -2)));
    EXPECT_TRUE(HoldsNoBuffer(t.Left(-1)));
    EXPECT_TRUE(IsConsistent(t.Left(10)));
}

TEST(WideString, OwnTextAsSourceGivesTheRightText)
{
    CWideString s(L"abcdefgh");
    s += s;
    s += s.GetText() + 8;
    s += s.GetText() + 16;
    EXPECT_EQ(L"abcdefghabcdefghabcdefghabcdefgh", Text(s));
    EXPECT_EQ(64, s.GetCapacity());
    s = s.GetText() + 27;
    s = s;
    EXPECT_EQ(L"defgh", Text(s));
    EXPECT_TRUE(IsConsistent(s));
}
