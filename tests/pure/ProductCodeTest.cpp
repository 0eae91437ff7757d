#include "inventory/ProductCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

TEST(ProductCode, BracedGuidInAnyCaseAndNothingElse)
{
    const wchar_t* const accepted[] = {
        L"{01234567-89ab-cdef-0123-456789abcdef}",
        L"{01234567-89AB-CDEF-0123-456789ABCDEF}",
        L"{0a1B2c3D-4e5F-6a7B-8c9D-0e1F2a3B4c5D}",
    };
    const wchar_t* const rejected[] = {
        L"",
        L"01234567-89ab-cdef-0123-456789abcdef",    // no braces
        L"76543210ba98fedc1032547698badcfe",        // packed
        L"(01234567-89ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcdef)",
        L"{0123456-789ab-cdef-0123-456789abcdef}",  // dash moved
        L"{01234567-89ab-cdef-01234-56789abcdef}",
        L"{0123456g-89ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdeG-0123-456789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcde }",
        L"{01234567-89ab-cdef-0123-456789abcdef}x",
        L"{01234567-89ab-cdef-0123-456789abcde}",
    };
    for (const wchar_t* text : accepted)
        EXPECT_TRUE(IsProductCode(CWideString(text))) << text;
    for (const wchar_t* text : rejected)
        EXPECT_FALSE(IsProductCode(CWideString(text))) << text;
    EXPECT_FALSE(IsProductCode(CWideString()));
}

TEST(ProductCode, PackedFormKeepsCase)
{
    EXPECT_STREQ(L"76543210ba98fedc1032547698badcfe",
                 PackProductCode(CWideString(L"{01234567-89ab-cdef-0123-456789abcdef}")).GetText());
    // Distinct characters show any digit taken from the wrong place.
    CWideString packed = PackProductCode(CWideString(L"{ABCDEFGH-IJKL-MNOP-QRST-UVWXYZabcdef}"));
    EXPECT_EQ(32, packed.GetLength());
    EXPECT_STREQ(L"HGFEDCBALKJIPONMRQTSVUXWZYbadcfe", packed.GetText());
    // A short input ends the result at its first missing character.
    EXPECT_STREQ(L"76543210ba98fedc",
                 PackProductCode(CWideString(L"{01234567-89ab-cdef-0")).GetText());
    EXPECT_EQ(0, PackProductCode(CWideString()).GetLength());
}

namespace {

const int kGroups[] = {8, 4, 4, 4, 12};

std::wstring RandomCode(std::mt19937& random)
{
    static const wchar_t s_hex[] = L"0123456789abcdefABCDEF";
    std::wstring code = L"{";
    for (int nGroup = 0; nGroup < 5; ++nGroup) {
        for (int i = 0; i < kGroups[nGroup]; ++i)
            code += s_hex[random() % 22];
        code += nGroup == 4 ? L'}' : L'-';
    }
    return code;
}

// The installer's packed form as it is usually described: the first three
// groups reversed, the characters of each pair swapped in the last two.
std::wstring PackedByGroups(const std::wstring& code)
{
    std::wstring packed;
    size_t nStart = 1;
    for (int nGroup = 0; nGroup < 5; ++nGroup) {
        std::wstring group = code.substr(nStart, kGroups[nGroup]);
        if (nGroup < 3) {
            std::reverse(group.begin(), group.end());
        } else {
            for (size_t i = 0; i + 1 < group.size(); i += 2)
                std::swap(group[i], group[i + 1]);
        }
        packed += group;
        nStart += kGroups[nGroup] + 1;
    }
    return packed;
}

bool IsHexDigit(wchar_t ch)
{
    return (ch >= L'0' && ch <= L'9') || (ch >= L'a' && ch <= L'f') || (ch >= L'A' && ch <= L'F');
}

std::wstring Text(const CWideString& s)
{
    return s.GetText() != NULL ? s.GetText() : L"";
}

}  // namespace

// Random codes and single-character changes to them: exactly the braced
// shape is accepted, and packing is the group rule, keeping case.
TEST(ProductCode, RandomCodesAndTheirMutations)
{
    std::mt19937 random(20240611u);
    for (int i = 0; i < 2000; ++i) {
        const std::wstring code = RandomCode(random);
        SCOPED_TRACE(std::string(code.begin(), code.end()));
        ASSERT_TRUE(IsProductCode(CWideString(code.c_str())));
        EXPECT_EQ(PackedByGroups(code), Text(PackProductCode(CWideString(code.c_str()))));

        // Any ASCII character at any position: valid exactly when it keeps the shape.
        const size_t nPos = random() % code.size();
        std::wstring changed = code;
        changed[nPos] = static_cast<wchar_t>(1 + random() % 127);
        const bool bDash = nPos == 9 || nPos == 14 || nPos == 19 || nPos == 24;
        const wchar_t chKept = nPos == 0 ? L'{' : nPos == 37 ? L'}' : bDash ? L'-' : 0;
        const bool bValid = chKept != 0 ? changed[nPos] == chKept : IsHexDigit(changed[nPos]);
        EXPECT_EQ(bValid, IsProductCode(CWideString(changed.c_str())))
            << "position " << nPos << " holds " << static_cast<int>(changed[nPos]);

        // One character more or less is never a product code.
        std::wstring longer = code;
        longer.insert(random() % (code.size() + 1), 1, code[random() % code.size()]);
        EXPECT_FALSE(IsProductCode(CWideString(longer.c_str())));
        std::wstring shorter = code;
        shorter.erase(random() % code.size(), 1);
        EXPECT_FALSE(IsProductCode(CWideString(shorter.c_str())));
    }
}
