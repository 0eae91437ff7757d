#include "inventory/ProductCode.h"

#include <wctype.h>

namespace {

const int kBracedLength = 38;
const int kPackedLength = 32;

// Where each character of the packed form comes from in the braced form:
// the first three groups reversed, the pairs of the last two swapped.
const int s_packSource[kPackedLength] = {
    8,  7,  6,  5,  4,  3,  2,  1,
    13, 12, 11, 10,
    18, 17, 16, 15,
    21, 20, 23, 22,
    26, 25, 28, 27, 30, 29, 32, 31, 34, 33, 36, 35,
};

bool IsDashPosition(int pos)
{
    return pos == 9 || pos == 14 || pos == 19 || pos == 24;
}

}  // namespace

bool IsProductCode(const CWideString& keyName)
{
    if (keyName.GetLength() != kBracedLength)
        return false;
    if (keyName.GetAt(0) != L'{' || keyName.GetAt(kBracedLength - 1) != L'}')
        return false;
    for (int pos = 1; pos < kBracedLength - 1; ++pos) {
        if (IsDashPosition(pos) && keyName.GetAt(pos) != L'-')
            return false;
    }
    for (int pos = 1; pos < kBracedLength - 1; ++pos) {
        if (!IsDashPosition(pos) && !iswxdigit(keyName.GetAt(pos)))
            return false;
    }
    return true;
}

CWideString PackProductCode(const CWideString& productCode)
{
    wchar_t packed[kPackedLength + 1] = {};
    for (int i = 0; i < kPackedLength; ++i)
        packed[i] = productCode.GetAt(s_packSource[i]);
    return CWideString(packed);
}
