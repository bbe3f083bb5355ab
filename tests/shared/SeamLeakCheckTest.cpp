// Deliberately leaks one block, key and module through the hooked calls; the
// run passes only if the per-test leak check reports exactly these.
#include <gtest/gtest.h>

#include "Seam.h"
#include "SeamHooks.h"

TEST(SeamLeakCheck, ReportsWhatATestLeaves)
{
    ASSERT_NE(nullptr, SeamGlobalAlloc(GMEM_FIXED, 8));
    ASSERT_NE(nullptr, SeamLocalAlloc(LMEM_FIXED, 8));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, SeamRegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &key));
    ASSERT_NE(nullptr, SeamLoadLibraryW(L"version.dll"));
}
