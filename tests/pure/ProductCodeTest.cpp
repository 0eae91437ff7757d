#include "inventory/ProductCode.h"

#include <gtest/gtest.h>

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
        L"01234567-89ab-cdef-0123-456789abcdef",
        L"76543210ba98fedc1032547698badcfe",
        L"(01234567-89ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcdef)",
        L"{0123456-789ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdef-01234-56789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcde }",
        L"{01234567-89ab-cdef-0123-456789abcdef}x",
        L"{01234567-89ab-cdef-0123-456789abcde}",
    };
    for (const wchar_t* text : accepted)
        EXPECT_TRUE(IsProductCode(CWideString(text))) << text;
    for (const wchar_t* text : rejected)
        EXPECT_FALSE(IsProductCode(CWideString(text))) << text;
    EXPECT_FALSE(IsProductCode(CWideString()));

    // The characters next to each hex range, in each group.
    for (size_t nPos : {1, 12, 17, 22, 36}) {
        for (wchar_t ch : std::wstring(L"/:@G`g-")) {
            std::wstring code = L"{01234567-89ab-cdef-0123-456789abcdef}";
            code[nPos] = ch;
            EXPECT_FALSE(IsProductCode(CWideString(code.c_str()))) << nPos << " " << ch;
        }
    }
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
