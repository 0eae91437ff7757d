#include "icons/IconLocation.h"

#include <gtest/gtest.h>

#include <climits>

TEST(IndexFromText, DigitsLettersRepeatsSignAndWrapping)
{
    const struct
    {
        const wchar_t* text;
        int nIndex;
    } cases[] = {
        {L"", 0}, {L"3", 3}, {L"007", 7}, {L"a", 10}, {L"Z", 35}, {L"1b", 21},
        // Any other character repeats the digit before it, and counts 0 first;
        // digits of other scripts are such characters.
        {L"1 2", 112}, {L"3.5.", 3355}, {L" 4", 4}, {L"2\xFF11", 22}, {L"\x0663" L"5", 5}, {L"1\xE9", 11},
        // Only a leading minus is a sign.
        {L"-101", -101}, {L"- 1", -1}, {L"-", 0}, {L"0-1", 1},
        {L"2147483647", INT_MAX}, {L"2147483648", INT_MIN}, {L"4294967297", 1},
        {L"-2147483648", INT_MIN}, {L"99999999999999999999", 1661992959},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nIndex, IndexFromText(CWideString(c.text))) << c.text;
    EXPECT_EQ(0, IndexFromText(CWideString()));
}
