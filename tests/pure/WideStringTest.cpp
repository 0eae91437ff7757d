#include "base/WideString.h"
#include "support/TestSupport.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

using testsupport::Text;

namespace {

const int kPolicies[] = {STRALLOC_HEAP, STRALLOC_TASKMEM};

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
    if (s.GetText() != NULL || s.GetCapacity() != 0 || s.GetLength(true) != 0 || !s.IsEmpty() ||
        s.GetAllocMode() != 0)
        return ::testing::AssertionFailure() << "capacity " << s.GetCapacity();
    return ::testing::AssertionSuccess();
}

// A terminated text inside its buffer, which came from the string's allocator.
::testing::AssertionResult IsConsistent(const CWideString& s)
{
    if (s.GetText() == NULL)
        return HoldsNoBuffer(s);
    const int nLength = s.GetLength();
    if (nLength >= s.GetCapacity() || s.GetText()[nLength] != 0 || s.GetLength(true) != nLength + 1)
        return ::testing::AssertionFailure() << "length " << nLength << ", capacity " << s.GetCapacity();
    const bool bTaskMem = s.GetAllocMode() == STRALLOC_TASKMEM;
    if (s.GetAllocMode() != s.GetAllocPolicy() || TaskAllocatorOwns(s.GetText()) != bTaskMem)
        return ::testing::AssertionFailure() << "buffer not from allocator " << s.GetAllocPolicy();
    return ::testing::AssertionSuccess();
}

}  // namespace

// 16, 32, ... 512 characters, then one more than asked: the terminator
// always finds room, and every other one-character append beyond reallocates.
TEST(WideString, CapacityFollowsTheScheduleWithRoomForTheTerminator)
{
    const int anChars[][2] = {{1, 16}, {15, 32}, {255, 512}, {511, 513}, {999, 1001}};
    for (const auto& c : anChars)
        EXPECT_EQ(c[1], CWideString(std::wstring(c[0], L'a').c_str()).GetCapacity()) << c[0];
    CWideString s;
    s.Reserve(-5);
    EXPECT_EQ(nullptr, s.GetBuffer(0));
    EXPECT_TRUE(HoldsNoBuffer(s));
    s.GetBuffer(16);
    EXPECT_EQ(32, s.GetCapacity());

    CWideString grow(std::wstring(14, L'a').c_str());
    for (const int nCapacity : {16, 32}) {
        grow += L'b';
        EXPECT_EQ(nCapacity, grow.GetCapacity());
    }
    CWideString big(std::wstring(512, L'a').c_str());
    for (const int nCapacity : {514, 516, 516}) {
        big += L'b';
        EXPECT_EQ(nCapacity, big.GetCapacity());
    }
    EXPECT_EQ(std::wstring(512, L'a') + L"bbb", Text(big));
}

TEST(WideString, EmptyAssignmentsReleaseAndEmptyAppendsKeep)
{
    CWideString s(L"held text");
    s = L"";
    EXPECT_TRUE(HoldsNoBuffer(s));
    s = L"held text";
    s = static_cast<const wchar_t*>(NULL);
    EXPECT_TRUE(HoldsNoBuffer(s));
    s = L"held text";
    s = CWideString();
    EXPECT_TRUE(HoldsNoBuffer(s));
    s = L"held text";
    s = L'\0';
    EXPECT_TRUE(HoldsNoBuffer(s));
    s += L"";
    s += static_cast<const wchar_t*>(NULL);
    s += L'\0';
    s += CWideString();
    EXPECT_TRUE(HoldsNoBuffer(s));

    // Trimmed to nothing: an empty text that keeps its buffer.
    s = L"\\\\\\";
    s.TrimRight(L'\\');
    ASSERT_NE(nullptr, s.GetText());
    EXPECT_TRUE(IsConsistent(s));
}

TEST(WideString, OutOfRangeArgumentsStayInsideTheText)
{
    const CWideString s(L"abcdef", STRALLOC_TASKMEM);
    EXPECT_EQ(0, s.GetAt(-1));
    EXPECT_EQ(0, s.GetAt(6));
    EXPECT_EQ(-1, s.Find(L'\0', 6));
    EXPECT_EQ(6, s.Find(L'\0', 2));
    EXPECT_EQ(-1, s.Find(L'a', -1));
    EXPECT_EQ(L"ef", Text(s.Mid(4, 10)));
    EXPECT_EQ(L"ab", Text(s.Mid(-3, 2)));
    EXPECT_TRUE(HoldsNoBuffer(s.Mid(6, 1)));
    EXPECT_TRUE(HoldsNoBuffer(s.Mid(1, 0)));
    EXPECT_TRUE(HoldsNoBuffer(s.Mid(1, -2)));
    EXPECT_TRUE(HoldsNoBuffer(s.Left(-1)));
    // Results never inherit the source's allocator.
    EXPECT_TRUE(IsConsistent(s.Left(10)));
    EXPECT_EQ(STRALLOC_HEAP, s.Mid(1).GetAllocMode());

    CWideString buffer;
    wmemset(buffer.GetBuffer(10), L'z', 16);
    buffer.ReleaseBuffer(-1);
    EXPECT_EQ(std::wstring(15, L'z'), Text(buffer));
    buffer.ReleaseBuffer(500);
    EXPECT_EQ(15, buffer.GetLength());
    buffer.ReleaseBuffer(0);
    EXPECT_TRUE(IsConsistent(buffer));
    CWideString none;
    none.ReleaseBuffer(5);
    EXPECT_TRUE(HoldsNoBuffer(none));
}

TEST(WideString, FormatNeedsRoomForTheTerminatorAndStopsGrowing)
{
    // Up to 255 characters come from a local buffer; from 256 on the attempt
    // with limit 512 writes into the string.
    const int anChars[][2] = {{255, 512}, {256, 513}, {511, 513}, {512, 769}};
    for (const auto& c : anChars) {
        CWideString s;
        s.Format(L"%s!", std::wstring(c[0] - 1, L'b').c_str());
        EXPECT_EQ(std::wstring(c[0] - 1, L'b') + L'!', Text(s)) << c[0];
        EXPECT_EQ(c[1], s.GetCapacity()) << c[0];
        EXPECT_TRUE(IsConsistent(s));
    }
    CWideString s;
    s.Format(L"");
    EXPECT_TRUE(HoldsNoBuffer(s));

    // A larger buffer is kept, and the string may quote itself.
    for (int nPolicy : kPolicies) {
        CWideString t(nPolicy);
        wchar_t* pBuffer = t.GetBuffer(1000);
        t.ReleaseBuffer(0);
        t.Format(L"%s", std::wstring(600, L'd').c_str());
        EXPECT_EQ(pBuffer, t.GetText());
        EXPECT_EQ(std::wstring(600, L'd'), Text(t));
        t = std::wstring(200, L'x').c_str();
        t.Format(L"%s-%s", t.GetText(), t.GetText());
        EXPECT_EQ(std::wstring(200, L'x') + L"-" + std::wstring(200, L'x'), Text(t));
        EXPECT_TRUE(IsConsistent(t));
    }

    // Output beyond 65535 characters ends empty.
    const std::wstring longest(65535, L'e');
    s.Format(L"%s", longest.c_str());
    EXPECT_EQ(longest, Text(s));
    s.Format(L"%s!", longest.c_str());
    EXPECT_TRUE(HoldsNoBuffer(s));
    s = L"before";
    s.Format(L"%2147483647d", 1);
    EXPECT_TRUE(HoldsNoBuffer(s));
}

TEST(WideString, EachBufferReturnsToTheAllocatorItCameFrom)
{
    CWideString task(L"task memory", STRALLOC_TASKMEM);
    EXPECT_TRUE(IsConsistent(task));
    const wchar_t* pTask = task.GetText();
    task.Free();
    EXPECT_EQ(0, TaskAllocatorOwns(pTask));
    EXPECT_EQ(STRALLOC_TASKMEM, task.GetAllocPolicy());

    task = L"x";
    EXPECT_TRUE(IsConsistent(task));
    // A copy takes the policy it is given, not the source's.
    EXPECT_EQ(STRALLOC_HEAP, CWideString(task).GetAllocMode());
    EXPECT_TRUE(IsConsistent(CWideString(CWideString(L"heap memory"), STRALLOC_TASKMEM)));
}

TEST(WideString, OwnTextAsSourceGivesTheRightText)
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
