#include "inventory/ProductCode.h"

#include <gtest/gtest.h>

namespace {

bool IsCode(const wchar_t* text)
{
    return IsProductCode(CWideString(text));
}

const wchar_t kCode[] = L"{01234567-89ab-cdef-0123-456789abcdef}";

}  // namespace

TEST(ProductCode, AcceptsBracedGuidInAnyCase)
{
    EXPECT_TRUE(IsCode(kCode));
    EXPECT_TRUE(IsCode(L"{01234567-89AB-CDEF-0123-456789ABCDEF}"));
    EXPECT_TRUE(IsCode(L"{0a1B2c3D-4e5F-6a7B-8c9D-0e1F2a3B4c5D}"));
}

TEST(ProductCode, RejectsOtherShapes)
{
    EXPECT_FALSE(IsProductCode(CWideString()));
    const wchar_t* const rejected[] = {
        L"",
        L"01234567-89ab-cdef-0123-456789abcdef",    // no braces
        L"76543210ba98fedc1032547698badcfe",        // packed
        L"(01234567-89ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcdef)",
        L"{0123456-789ab-cdef-0123-456789abcdef}",  // dash moved
        L"{01234567-89ab-cdef-01234-56789abcdef}",
        L"{01234567-89ab-cdeG-0123-456789abcdef}",
        L"{0123456g-89ab-cdef-0123-456789abcdef}",
        L"{01234567-89ab-cdef-0123-456789abcde }",
        L"{01234567-89ab-cdef-0123-456789abcdef}x",
        L"{01234567-89ab-cdef-0123-456789abcde}",
    };
    for (const wchar_t* text : rejected)
        EXPECT_FALSE(IsCode(text)) << text;
}

TEST(ProductCode, PacksWorkedExampleKeepingCase)
{
    CWideString packed = PackProductCode(CWideString(kCode));
    ASSERT_EQ(32, packed.GetLength());
    EXPECT_STREQ(L"76543210ba98fedc1032547698badcfe", packed.GetText());

    packed = PackProductCode(CWideString(L"{01234567-89AB-CDEF-0123-456789aBcDeF}"));
    EXPECT_STREQ(L"76543210BA98FEDC1032547698BaDcFe", packed.GetText());
}

TEST(ProductCode, PackingIsAPermutationOfTheDigits)
{
    // Every hex digit position of the braced form lands in the packed form
    // exactly once: distinct characters make a misplaced index visible.
    const wchar_t distinct[] = L"{ABCDEFGH-IJKL-MNOP-QRST-UVWXYZabcdef}";
    CWideString packed = PackProductCode(CWideString(distinct));
    EXPECT_STREQ(L"HGFEDCBALKJIPONMRQTSVUXWZYbadcfe", packed.GetText());
}

TEST(ProductCode, PackingShortInputEndsEarly)
{
    // Position 8 is missing, so the result ends before its first character.
    EXPECT_EQ(0, PackProductCode(CWideString(L"{0123456")).GetLength());
    EXPECT_EQ(0, PackProductCode(CWideString()).GetLength());
    // Groups 1-3 present, group 4 cut: the result stops at output 16.
    CWideString packed = PackProductCode(CWideString(L"{01234567-89ab-cdef-0"));
    EXPECT_STREQ(L"76543210ba98fedc", packed.GetText());
}
