#include "inventory/ProductCode.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProductCode, BracedGuidInAnyCaseAndNothingElseAndItsPackedForm)
{
    const wchar_t* const rejected[] = {
        L"", L"01234567-89ab-cdef-0123-456789abcdef", L"(01234567-89ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcdef)", L"{0123456-789ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcdef}x", L"{01234567-89ab-cdef-0123-456789abcde}",
    };
    EXPECT_TRUE(IsProductCode(CWideString(L"{0a1B2c3D-4e5F-6a7B-8c9D-0e1F2a3B4c5D}")));
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
    // Packed: distinct characters show any digit taken from the wrong place.
    EXPECT_STREQ(L"HGFEDCBALKJIPONMRQTSVUXWZYbadcfe",
                 PackProductCode(CWideString(L"{ABCDEFGH-IJKL-MNOP-QRST-UVWXYZabcdef}")).GetText());
}
