// The one release guard: it releases once, on every way out, and never
// disturbs the last error that its owner set before leaving.
#include <gtest/gtest.h>

#include "ScopeGuards.h"

namespace
{

int releases = 0;

// A release that, like many platform calls, overwrites the last error.
void NoisyRelease(int*)
{
    ++releases;
    SetLastError(ERROR_INVALID_HANDLE);
}
typedef ScopedHandle<int*, NoisyRelease> NoisyGuard;

}  // namespace

TEST(ScopeGuards, ReleasesOnceAndKeepsTheLastError)
{
    int a = 0, b = 0;
    releases = 0;
    {
        NoisyGuard guard(&a);
        EXPECT_TRUE(guard.valid());
        SetLastError(ERROR_ACCESS_DENIED);
        guard.reset(&b);  // releases a
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(1, releases);
        NoisyGuard moved(static_cast<NoisyGuard&&>(guard));
        EXPECT_FALSE(guard.valid());
        EXPECT_EQ(&b, moved.get());
        SetLastError(ERROR_FILE_NOT_FOUND);
    }  // releases b, once
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(2, releases);

    NoisyGuard empty;
    EXPECT_FALSE(empty.valid());
    *empty.put() = &a;
    EXPECT_EQ(&a, empty.release());
    EXPECT_EQ(2, releases);  // given up, not released
}
