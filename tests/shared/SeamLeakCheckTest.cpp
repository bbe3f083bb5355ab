// Deliberately leaks one block, key, module, file handle, item list and
// allocator reference through the
// hooked calls, and frees a block written one byte past its end; the run
// passes only if the per-test checks report exactly these.
#include <gtest/gtest.h>

#include "Seam.h"
#include "SeamHooks.h"

TEST(SeamLeakCheck, ReportsWhatATestLeavesAndWritesPast)
{
    ASSERT_NE(nullptr, SeamGlobalAlloc(GMEM_FIXED, 8));
    ASSERT_NE(nullptr, SeamLocalAlloc(LMEM_FIXED, 8));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, SeamRegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &key));
    ASSERT_NE(nullptr, SeamLoadLibraryW(L"version.dll"));
    WCHAR path[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, path));
    lstrcatW(path, L"seam-leak-check.tmp");
    ASSERT_NE(INVALID_HANDLE_VALUE,
              SeamCreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, NULL));
    LPITEMIDLIST list = NULL;
    ASSERT_EQ(S_OK, SeamSHGetSpecialFolderLocation(NULL, CSIDL_COMMON_DOCUMENTS, &list));
    LPMALLOC allocator = NULL;
    ASSERT_EQ(S_OK, SeamSHGetMalloc(&allocator));
    BYTE* block = static_cast<BYTE*>(SeamGlobalAlloc(GMEM_FIXED, 8));
    ASSERT_NE(nullptr, block);
    block[8] = 0;
    SeamGlobalFree(block);
}
