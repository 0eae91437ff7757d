#include "icons/IconLookup.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <wchar.h>

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

namespace {

// Digits, letters, punctuation, and characters that other classifications
// would call letters or digits (accented, Greek, full-width, Arabic-Indic,
// surrogate halves): the rule knows only ASCII.
wchar_t RandomCharacter(std::mt19937& random)
{
    static const wchar_t s_others[] = {L' ', L'.', L'-', L'+', L',', L'_', 0xE9, 0x3A9, 0xFF11,
                                       0xFF21, 0x0663, 0xD83D, 0xDE00, 0x00B2};
    const wchar_t* const alphabets[] = {L"0123456789", L"ABCDEFGHIJKLMNOPQRSTUVWXYZ",
                                        L"abcdefghijklmnopqrstuvwxyz"};
    const unsigned nKind = random() % 4;
    if (nKind == 3)
        return s_others[random() % (sizeof(s_others) / sizeof(s_others[0]))];
    const wchar_t* alphabet = alphabets[nKind];
    return alphabet[random() % wcslen(alphabet)];
}

std::wstring RandomText(std::mt19937& random, int nMaxLength)
{
    std::wstring text;
    for (int n = static_cast<int>(random() % (nMaxLength + 1)); n > 0; --n)
        text += RandomCharacter(random);
    return text;
}

bool IsAsciiAlphanumeric(wchar_t ch)
{
    return (ch >= L'0' && ch <= L'9') || (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z');
}

int Index(const std::wstring& text)
{
    return IndexFromText(CWideString(text.c_str()));
}

}  // namespace

// Laws that tie results of different texts together, over random texts.
TEST(IndexFromText, RandomTextsKeepTheRulesLaws)
{
    std::mt19937 random(20240611u);
    for (int i = 0; i < 3000; ++i) {
        const std::wstring text = RandomText(random, 14);
        SCOPED_TRACE(testing::Message() << "text #" << i << " of length " << text.size());
        const int nIndex = Index(text);

        // Letter case never matters.
        std::wstring upper = text;
        for (wchar_t& ch : upper)
            ch = (ch >= L'a' && ch <= L'z') ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
        EXPECT_EQ(nIndex, Index(upper));

        // A character outside the 62 repeats the digit before it, whatever
        // any other classification says about it.
        for (size_t k = 1; k < text.size(); ++k) {
            if (IsAsciiAlphanumeric(text[k]) || !IsAsciiAlphanumeric(text[k - 1]))
                continue;
            std::wstring repeated = text;
            repeated[k] = text[k - 1];
            EXPECT_EQ(nIndex, Index(repeated)) << "at " << k;
            break;
        }

        // A leading character without digit value adds nothing; a leading
        // minus negates what follows.
        if (!text.empty() && text[0] != L'-') {
            EXPECT_EQ(nIndex, Index(L" " + text));
            EXPECT_EQ(static_cast<int>(0u - static_cast<unsigned>(nIndex)), Index(L"-" + text));
        }
    }
}

// Plain decimal numbers of any length read as their value modulo 2^32.
TEST(IndexFromText, RandomDecimalNumbersWrapModuloTwoToTheThirtyTwo)
{
    std::mt19937 random(20240612u);
    for (int i = 0; i < 2000; ++i) {
        std::wstring digits;
        for (int n = 1 + static_cast<int>(random() % 19); n > 0; --n)
            digits += static_cast<wchar_t>(L'0' + random() % 10);
        const unsigned long long value = std::stoull(digits);
        EXPECT_EQ(static_cast<int>(static_cast<unsigned>(value & 0xFFFFFFFFull)), Index(digits))
            << std::string(digits.begin(), digits.end());
    }
}
