#include "base/WideString.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const int kPolicies[] = {STRALLOC_HEAP, STRALLOC_TASKMEM};

std::wstring Text(const CWideString& s)
{
    return s.GetText() != NULL ? std::wstring(s.GetText()) : std::wstring();
}

std::wstring Repeat(int nCount, wchar_t ch)
{
    return std::wstring(nCount, ch);
}

int ExpectedCapacity(int request)
{
    for (int nCapacity = 16; nCapacity <= 512; nCapacity *= 2) {
        if (nCapacity > request)
            return nCapacity;
    }
    return request + 1;
}

// 1 when the task allocator owns the block, 0 when it does not.
int TaskAllocatorOwns(const void* p)
{
    IMalloc* pMalloc = NULL;
    if (FAILED(CoGetMalloc(1, &pMalloc)))
        return -1;
    int nResult = pMalloc->DidAlloc(const_cast<void*>(p));
    pMalloc->Release();
    return nResult;
}

::testing::AssertionResult HoldsNoBuffer(const CWideString& s)
{
    if (s.GetText() != NULL || s.GetCapacity() != 0 || s.GetLength(false) != 0 ||
        s.GetLength(true) != 0 || !s.IsEmpty() || s.GetAllocMode() != 0)
        return ::testing::AssertionFailure() << "capacity " << s.GetCapacity() << ", length "
                                             << s.GetLength(false);
    return ::testing::AssertionSuccess();
}

// What every string keeps between operations.
::testing::AssertionResult IsConsistent(const CWideString& s)
{
    if (s.GetText() == NULL)
        return HoldsNoBuffer(s);
    const int nLength = s.GetLength(false);
    const int nCapacity = s.GetCapacity();
    if (nLength < 0 || nLength >= nCapacity || s.GetText()[nLength] != 0 ||
        s.GetLength(true) != nLength + 1)
        return ::testing::AssertionFailure() << "length " << nLength << ", capacity " << nCapacity;
    if (nCapacity < 512 && nCapacity != ExpectedCapacity(nCapacity - 1))
        return ::testing::AssertionFailure() << "capacity " << nCapacity << " off the schedule";
    const bool bTaskMem = s.GetAllocMode() == STRALLOC_TASKMEM;
    if (s.GetAllocMode() != s.GetAllocPolicy() || TaskAllocatorOwns(s.GetText()) != bTaskMem)
        return ::testing::AssertionFailure() << "buffer not from allocator " << s.GetAllocPolicy();
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(WideStringCapacity, FollowsTheScheduleWithRoomForTheTerminator)
{
    const int anChars[][2] = {{1, 16}, {14, 16}, {15, 32}, {255, 512}, {511, 513}, {999, 1001}};
    for (const auto& c : anChars) {
        CWideString s(Repeat(c[0], L'a').c_str());
        EXPECT_EQ(c[1], s.GetCapacity()) << c[0] << " characters";
    }

    CWideString s;
    s.Reserve(0);
    s.Reserve(-5);
    EXPECT_EQ(nullptr, s.GetBuffer(0));
    EXPECT_TRUE(HoldsNoBuffer(s));
    s.GetBuffer(16);
    EXPECT_EQ(32, s.GetCapacity());
    CWideString t;
    t.GetBuffer(512);
    EXPECT_EQ(513, t.GetCapacity());

    // 14 characters plus one fit 16; the sixteenth character does not.
    CWideString grow(L"abcdefghijklmn");
    const wchar_t* pBefore = grow.GetText();
    grow += L'o';
    EXPECT_EQ(pBefore, grow.GetText());
    grow += L'p';
    EXPECT_EQ(32, grow.GetCapacity());
    EXPECT_EQ(L"abcdefghijklmnop", Text(grow));

    // Beyond the schedule every other one-character append reallocates.
    CWideString big(Repeat(512, L'a').c_str());
    EXPECT_EQ(514, big.GetCapacity());
    big += L'b';
    EXPECT_EQ(514, big.GetCapacity());
    big += L'c';
    EXPECT_EQ(516, big.GetCapacity());
    EXPECT_EQ(Repeat(512, L'a') + L"bc", Text(big));
}

TEST(WideStringEmpty, EmptyAssignmentsReleaseAndEmptyAppendsKeep)
{
    const CWideString empty;
    for (int nKind = 0; nKind < 4; ++nKind) {
        CWideString s(L"held text");
        if (nKind == 0)
            s = L"";
        else if (nKind == 1)
            s = static_cast<const wchar_t*>(NULL);
        else if (nKind == 2)
            s = empty;
        else
            s = L'\0';
        EXPECT_TRUE(HoldsNoBuffer(s)) << "kind " << nKind;

        s += L"";
        s += static_cast<const wchar_t*>(NULL);
        s += L'\0';
        s += empty;
        EXPECT_TRUE(HoldsNoBuffer(s)) << "kind " << nKind;
    }

    // Trimmed to nothing: an empty text that keeps its buffer.
    CWideString slashes(L"\\\\\\");
    slashes.TrimRight(L'\\');
    ASSERT_NE(nullptr, slashes.GetText());
    EXPECT_EQ(1, slashes.GetLength(true));
    EXPECT_TRUE(IsConsistent(slashes));
}

TEST(WideStringQueries, OutOfRangeArgumentsStayInsideTheText)
{
    const CWideString s(L"abcdef", STRALLOC_TASKMEM);
    EXPECT_EQ(0, s.GetAt(-1));
    EXPECT_EQ(0, s.GetAt(6));
    EXPECT_EQ(-1, s.Find(L'\0', 6));
    EXPECT_EQ(6, s.Find(L'\0', 2));
    EXPECT_EQ(-1, s.Find(L'a', -1));

    EXPECT_EQ(L"ef", Text(s.Mid(4, 10)));
    EXPECT_TRUE(HoldsNoBuffer(s.Mid(6, 1)));
    EXPECT_TRUE(HoldsNoBuffer(s.Mid(1, 0)));
    EXPECT_EQ(L"ab", Text(s.Mid(-3, 2)));
    EXPECT_TRUE(HoldsNoBuffer(s.Mid(1, -2)));
    EXPECT_TRUE(HoldsNoBuffer(s.Left(-1)));

    // Results never inherit the source's allocator.
    EXPECT_TRUE(IsConsistent(s.Left(10)));
    EXPECT_EQ(STRALLOC_HEAP, s.Mid(1).GetAllocMode());
}

TEST(WideStringBuffer, ReleaseBufferStaysWithinTheBuffer)
{
    CWideString s;
    wchar_t* p = s.GetBuffer(10);
    ASSERT_EQ(16, s.GetCapacity());
    wmemset(p, L'z', 16);
    s.ReleaseBuffer(-1);
    EXPECT_EQ(Repeat(15, L'z'), Text(s));
    s.ReleaseBuffer(500);
    EXPECT_EQ(15, s.GetLength());
    s.ReleaseBuffer(0);
    EXPECT_TRUE(IsConsistent(s));
    EXPECT_NE(nullptr, s.GetText());

    CWideString none;
    none.ReleaseBuffer(5);
    EXPECT_TRUE(HoldsNoBuffer(none));
}

TEST(WideStringFormat, TheFirstAttemptNeedsRoomForTheTerminator)
{
    // 255 characters come from the local buffer and are assigned (capacity
    // 512); from 256 on the attempt with limit 512 writes into the string.
    const int anChars[][2] = {{255, 512}, {256, 513}, {300, 513}, {511, 513}, {512, 769}};
    for (const auto& c : anChars) {
        CWideString s;
        s.Format(L"%s!", Repeat(c[0] - 1, L'b').c_str());
        EXPECT_EQ(Repeat(c[0] - 1, L'b') + L'!', Text(s)) << c[0];
        EXPECT_EQ(c[1], s.GetCapacity()) << c[0];
        EXPECT_TRUE(IsConsistent(s));
    }

    CWideString s;
    s.Format(L"");
    EXPECT_TRUE(HoldsNoBuffer(s));
}

TEST(WideStringFormat, LongResultsKeepALargerBufferAndMayQuoteTheString)
{
    for (int nPolicy : kPolicies) {
        CWideString s(nPolicy);
        wchar_t* pBuffer = s.GetBuffer(1000);
        s.ReleaseBuffer(0);
        s.Format(L"%s", Repeat(600, L'd').c_str());
        EXPECT_EQ(pBuffer, s.GetText());
        EXPECT_EQ(1001, s.GetCapacity());
        EXPECT_EQ(Repeat(600, L'd'), Text(s));

        s = Repeat(200, L'x').c_str();
        s.Format(L"%s-%s", s.GetText(), s.GetText());
        EXPECT_EQ(Repeat(200, L'x') + L"-" + Repeat(200, L'x'), Text(s));
        EXPECT_TRUE(IsConsistent(s));
    }
}

TEST(WideStringFormat, OversizedOutputEndsEmptyInsteadOfGrowingForever)
{
    const std::wstring longest = Repeat(65535, L'e');
    CWideString s(L"before");
    s.Format(L"%s", longest.c_str());
    EXPECT_EQ(longest, Text(s));

    s.Format(L"%s!", longest.c_str());
    EXPECT_TRUE(HoldsNoBuffer(s));

    s = L"before";
    s.Format(L"%2147483647d", 1);
    EXPECT_TRUE(HoldsNoBuffer(s));
}

TEST(WideStringAllocator, EachBufferReturnsToTheAllocatorItCameFrom)
{
    CWideString task(L"task memory", STRALLOC_TASKMEM);
    EXPECT_TRUE(IsConsistent(task));
    // Released through operator delete instead, the block would still
    // belong to the task allocator.
    const wchar_t* pTask = task.GetText();
    task.Free();
    EXPECT_EQ(0, TaskAllocatorOwns(pTask));
    EXPECT_EQ(STRALLOC_TASKMEM, task.GetAllocPolicy());

    const CWideString heap(L"heap memory");
    EXPECT_TRUE(IsConsistent(heap));
    const CWideString taskSource(L"x", STRALLOC_TASKMEM);
    EXPECT_EQ(STRALLOC_HEAP, CWideString(taskSource).GetAllocMode());
    EXPECT_TRUE(IsConsistent(CWideString(heap, STRALLOC_TASKMEM)));
}

TEST(WideStringAlias, OwnTextAsSourceGivesTheRightText)
{
    for (int nPolicy : kPolicies) {
        CWideString s(L"abcdefgh", nPolicy);
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
}

// Random operation sequences against std::wstring as the model.
TEST(WideStringModel, RandomOperationsMatchAPlainString)
{
    std::mt19937 random(20240611u);
    auto Pick = [&random](size_t nLimit) {
        return static_cast<int>(random() % static_cast<unsigned>(nLimit));
    };
    const wchar_t kAlphabet[] = L"ab\\ .Z";
    auto RandomText = [&](int nMaxLength) {
        std::wstring text(Pick(nMaxLength + 1), L' ');
        for (wchar_t& ch : text)
            ch = kAlphabet[Pick(6)];
        return text;
    };

    for (int nPolicy : kPolicies) {
        CWideString s(nPolicy);
        std::wstring model;
        bool bHasBuffer = false;
        for (int nStep = 0; nStep < 2500; ++nStep) {
            const int nCapacityBefore = s.GetCapacity();
            const wchar_t* pBefore = s.GetText();
            const int nSize = static_cast<int>(model.size());
            int nRequest = 0;  // capacity an assignment, append or GetBuffer needs
            auto Assigned = [&](const std::wstring& text) {
                model = text;
                bHasBuffer = !text.empty();
                nRequest = static_cast<int>(text.size()) + 1;
            };
            auto Appended = [&](const std::wstring& text) {
                model += text;
                bHasBuffer = bHasBuffer || !model.empty();
                nRequest = text.empty() ? 0 : static_cast<int>(model.size()) + 1;
            };
            const int nOp = Pick(11);
            SCOPED_TRACE(::testing::Message() << "policy " << nPolicy << " step " << nStep
                                              << " op " << nOp);
            switch (nOp) {
            case 0: {
                const std::wstring text = RandomText(Pick(4) == 0 ? 600 : 40);
                s = text.c_str();
                Assigned(text);
                break;
            }
            case 1: {
                const wchar_t ch = Pick(5) == 0 ? L'\0' : kAlphabet[Pick(6)];
                s = ch;
                Assigned(ch != 0 ? std::wstring(1, ch) : std::wstring());
                break;
            }
            case 2: {
                const std::wstring text = RandomText(Pick(4) == 0 ? 300 : 20);
                s += text.c_str();
                Appended(text);
                break;
            }
            case 3: {
                const wchar_t ch = kAlphabet[Pick(6)];
                s += ch;
                Appended(std::wstring(1, ch));
                break;
            }
            case 4: {
                const int nStart = Pick(model.size() + 1);
                const wchar_t* pSuffix = s.GetText() != NULL ? s.GetText() + nStart : NULL;
                if (Pick(2) == 0) {
                    s += pSuffix;
                    Appended(model.substr(nStart));
                } else {
                    s = pSuffix;
                    Assigned(model.substr(nStart));
                }
                break;
            }
            case 5: {
                const int nStart = Pick(model.size() + 2);
                const int nCount = Pick(3) == 0 ? -1 : Pick(20);
                const std::wstring expected = nStart < nSize ? model.substr(nStart, nCount) : L"";
                const CWideString part = s.Mid(nStart, nCount);
                ASSERT_EQ(expected, Text(part));
                ASSERT_TRUE(IsConsistent(part));
                s = part;
                Assigned(expected);
                break;
            }
            case 6: {
                const int nCount = Pick(model.size() + 5);
                const CWideString part = s.Left(nCount);
                ASSERT_EQ(model.substr(0, nCount), Text(part));
                ASSERT_TRUE(IsConsistent(part));
                break;
            }
            case 7: {
                const wchar_t ch = kAlphabet[Pick(3)];
                s.TrimRight(ch);
                const size_t nKeep = model.find_last_not_of(ch);
                model.erase(nKeep == std::wstring::npos ? 0 : nKeep + 1);
                break;
            }
            case 8: {
                const wchar_t ch = kAlphabet[Pick(6)];
                const int nStart = Pick(model.size() + 2);
                const size_t nFound = nStart < nSize ? model.find(ch, nStart) : std::wstring::npos;
                ASSERT_EQ(nFound == std::wstring::npos ? -1 : static_cast<int>(nFound),
                          s.Find(ch, nStart));
                break;
            }
            case 9: {
                nRequest = Pick(4) == 0 ? Pick(1100) : Pick(40);
                wchar_t* p = s.GetBuffer(nRequest);
                bHasBuffer = bHasBuffer || nRequest > 0;
                if (p == NULL)
                    break;
                ASSERT_EQ(model, std::wstring(p));
                const int nWrite = Pick(s.GetCapacity());
                wmemset(p, L'w', nWrite);
                p[nWrite] = 0;
                const int nLength = Pick(2) == 0 ? -1 : Pick(nWrite + 1);
                s.ReleaseBuffer(nLength);
                model.assign(nLength < 0 ? nWrite : nLength, L'w');
                break;
            }
            case 10: {
                const std::wstring text = RandomText(Pick(3) == 0 ? 700 : 30);
                const int nNumber = Pick(100000);
                s.Format(L"%s=%d", text.c_str(), nNumber);
                Assigned(text + L"=" + std::to_wstring(nNumber));
                nRequest = 0;
                break;
            }
            }

            ASSERT_TRUE(IsConsistent(s));
            ASSERT_EQ(model, Text(s));
            ASSERT_EQ(bHasBuffer, s.GetText() != NULL);

            // A request that fits never reallocates; one that does not gets
            // exactly the scheduled capacity.
            if (nRequest > 1 && nRequest <= nCapacityBefore) {
                ASSERT_EQ(pBefore, s.GetText());
                ASSERT_EQ(nCapacityBefore, s.GetCapacity());
            } else if (nRequest > 1) {
                ASSERT_EQ(ExpectedCapacity(nRequest), s.GetCapacity());
            }

            if (model.size() > 3000) {
                s = L"";
                model.clear();
                bHasBuffer = false;
            }
        }
    }
}
