#pragma once

// window_tests.exe replaces the global operator new and delete with versions
// that count the blocks alive in the whole process and their bytes.
long LiveAllocations();
long long LiveAllocatedBytes();
