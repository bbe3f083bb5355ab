// Forced into every product source of the test build (and only there): routes
// chosen platform calls through hooks that forward to the real functions
// unless a test has armed a fault, and that account for every block, key,
// module and file handle acquired. The product sources themselves never mention it.
#ifndef TESTS_SEAM_HOOKS_H
#define TESTS_SEAM_HOOKS_H

// Everything that declares a hooked function comes first, so the macros below
// never rename a platform declaration.
#include <windows.h>
#include <shlobj.h>

#include "SeamCalls.h"

#ifdef __cplusplus
extern "C" {
#endif

SEAM_CALLS(SEAM_DECLARE_HOOK)

#ifdef __cplusplus
}
#endif

// Every listed name becomes its hook's: #define NAME SeamNAME.
#include "SeamRenames.h"

#endif
