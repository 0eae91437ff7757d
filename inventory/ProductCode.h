#pragma once

#include "base/WideString.h"

// Windows Installer product codes as they appear in uninstall key names:
// a GUID in braces, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}. Letter case is
// never changed or compared.

// True when keyName has exactly the braced 38-character shape.
bool IsProductCode(const CWideString& keyName);

// The 32-character packed form, the product's key name under
// SOFTWARE\Classes\Installer\Products. Call it only where IsProductCode holds:
// a shorter input ends the result at its first missing character.
CWideString PackProductCode(const CWideString& productCode);
