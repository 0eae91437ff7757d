// The icon reader over bytes in memory: damaged icon files and executables,
// a field at a time, cut short or with bytes of their directories changed,
// give no icon or the image they gave before, and the reader never asks for
// a byte outside them.
#include "icons/IconResource.h"
#include "support/DamagedIcons.h"

#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>

namespace {

// Bytes in memory that fail the test when asked for any outside them.
class CCheckedBytes : public IByteSource
{
public:
    explicit CCheckedBytes(const std::string& bytes) : m_bytes(bytes) {}

    ULONGLONG Size() const override { return m_bytes.size(); }
    bool Read(ULONGLONG nOffset, DWORD cb, void* pBuffer) override
    {
        if (nOffset > m_bytes.size() || cb > m_bytes.size() - nOffset) {
            ADD_FAILURE() << cb << " bytes read at " << nOffset << " of " << m_bytes.size();
            return false;
        }
        memcpy(pBuffer, m_bytes.data() + nOffset, cb);
        return true;
    }

private:
    const std::string& m_bytes;
};

IconFileResult Read(const std::string& bytes, IconImage* pImage, int nIndex = 0)
{
    CCheckedBytes source(bytes);
    return ReadIconFile(source, nIndex, 16, 16, pImage);
}

}  // namespace

TEST(IconReaderTest, DamagedContainersGiveNoIconOrTheirImage)
{
    std::mt19937 random(5);
    for (const testsupport::Container& c : testsupport::RedAndGreenContainers()) {
        IconImage original;
        IconImage image;
        ASSERT_EQ(kIconDecoded, Read(c.bytes, &original));
        EXPECT_EQ(kIconNeedsSystem, Read(c.bytes, NULL));
        EXPECT_EQ(kIconNone, Read(c.bytes, &image, 1));
        int nDecoded = 0;
        for (int nVariant = 0; nVariant < 300; ++nVariant) {
            bool bNoIcon = false;
            const IconFileResult result = Read(testsupport::Damaged(c, nVariant, random, bNoIcon), &image);
            EXPECT_TRUE(!bNoIcon || result == kIconNone) << "variant " << nVariant;
            nDecoded += result == kIconDecoded;
            EXPECT_TRUE(result != kIconDecoded || (image.pixels == original.pixels && image.mask == original.mask))
                << "variant " << nVariant;
        }
        EXPECT_GT(nDecoded, 0);
    }
}
