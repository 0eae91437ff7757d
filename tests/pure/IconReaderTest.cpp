// The icon reader. Over bytes in memory: damaged icon files and executables,
// a field at a time, cut short or with bytes of their directories changed,
// give no icon or the image they gave before, and the reader never asks for
// a byte outside them. On its thread: a file that holds it up holds up no
// other.
#include "icons/IconReader.h"
#include "support/DamagedIcons.h"

#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

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
        EXPECT_EQ(kIconNone, Read(c.bytes, &image, -1));
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

namespace {

HANDLE s_hRelease = NULL;
std::atomic<int> s_nHeldUp(0);

// Every file reads as no icon; "held" waits until released.
void ReadOrWait(IconRead& read, bool)
{
    if (*read.path == L"held") {
        ++s_nHeldUp;
        WaitForSingleObject(s_hRelease, 20000);
    }
    read.outcome = IconRead::kNoIcon;
}

}  // namespace

// A file that holds the reader up (a share that does not answer) holds up no
// other: after a second a new thread reads the rest, the file is answered as
// one to read again, and it is not read again while it holds the old thread.
TEST(IconReader, AFileThatHoldsTheReaderUpHoldsUpNoOther)
{
    s_hRelease = CreateEventW(NULL, TRUE, FALSE, NULL);
    CIconReader reader(ReadOrWait);
    int nAsked = 0;
    // The answer to a new read of that file, or -1.
    auto ask = [&](const wchar_t* pszPath, DWORD dwWaitMs) {
        IconRead read;
        read.nIcon = ++nAsked;
        read.path = std::make_shared<const std::wstring>(pszPath);
        reader.Ask(std::move(read));
        std::vector<IconRead> reads;
        for (const DWORD dwStart = GetTickCount();;) {
            reader.Take(reads, 100);
            for (const IconRead& answer : reads) {
                if (answer.nIcon == nAsked)
                    return static_cast<int>(answer.outcome);
            }
            if (GetTickCount() - dwStart >= dwWaitMs)
                return -1;
        }
    };
    EXPECT_EQ(-1, ask(L"held", 200));
    EXPECT_EQ(IconRead::kNoIcon, ask(L"other", 5000)) << "read by a new thread";
    EXPECT_EQ(IconRead::kRetry, ask(L"held", 0)) << "answered at once";
    EXPECT_EQ(1, s_nHeldUp);
    SetEvent(s_hRelease);
    int nOutcome = IconRead::kRetry;
    for (const DWORD dwStart = GetTickCount(); nOutcome == IconRead::kRetry && GetTickCount() - dwStart < 5000;)
        nOutcome = ask(L"held", 1000);
    EXPECT_EQ(IconRead::kNoIcon, nOutcome) << "read again once the old thread is free";
    EXPECT_EQ(2, s_nHeldUp);
    CloseHandle(s_hRelease);
}
