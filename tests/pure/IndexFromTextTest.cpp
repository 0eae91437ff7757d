#include "icons/IconLookup.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

int Index(const wchar_t* text)
{
    return IndexFromText(CWideString(text));
}

}  // namespace

TEST(IndexFromText, DigitsLettersAndRepeatedCharacters)
{
    EXPECT_EQ(0, Index(L""));
    EXPECT_EQ(0, IndexFromText(CWideString()));
    EXPECT_EQ(0, Index(L"0"));
    EXPECT_EQ(3, Index(L"3"));
    EXPECT_EQ(12, Index(L"12"));
    EXPECT_EQ(10, Index(L"a"));
    EXPECT_EQ(10, Index(L"A"));
    EXPECT_EQ(35, Index(L"z"));
    EXPECT_EQ(21, Index(L"1b"));
    EXPECT_EQ(112, Index(L"1 2"));
    EXPECT_EQ(33, Index(L"3 "));
    EXPECT_EQ(3355, Index(L"3.5."));
    EXPECT_EQ(7, Index(L"007"));
}

TEST(IndexFromText, FirstCharacterWithoutDigitValue)
{
    // Nothing to repeat yet: a leading blank or plus counts 0.
    EXPECT_EQ(4, Index(L" 4"));
    EXPECT_EQ(4, Index(L"+4"));
    EXPECT_EQ(0, Index(L"  "));
    // A leading minus keeps the sign, so the lookup finds no icon for it.
    EXPECT_EQ(-101, Index(L"-101"));
    EXPECT_EQ(-1, Index(L"- 1"));
    EXPECT_EQ(0, Index(L"-"));
    // Only the first character carries a sign.
    EXPECT_EQ(1, Index(L"0-1"));
}

TEST(IndexFromText, OverflowWrapsAround)
{
    EXPECT_EQ(INT_MAX, Index(L"2147483647"));
    EXPECT_EQ(INT_MIN, Index(L"2147483648"));
    EXPECT_EQ(1, Index(L"4294967297"));
    EXPECT_EQ(INT_MIN, Index(L"-2147483648"));
}
