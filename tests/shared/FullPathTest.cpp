#include <gtest/gtest.h>

#include "FullPath.h"

TEST(IsFullyQualifiedPath, OnlyPathsThatNoCurrentFolderOrDriveCanChange)
{
    struct Case
    {
        const WCHAR* path;
        bool full;
    };
    const Case cases[] = {
        {L"C:\\", true},
        {L"c:\\Data\\Orvalis.exe", true},
        {L"Z:\\x", true},
        {L"\\\\server\\share", true},
        {L"\\\\server\\share\\", true},
        {L"\\\\server\\share\\Orvalis\\Orvalis.exe", true},
        {L"\\\\?\\C:\\Data", true},
        {L"\\\\?\\UNC\\server\\share", true},
        {nullptr, false},
        {L"", false},
        {L".", false},
        {L"..\\Data", false},
        {L"C:", false},
        {L"C:Data", false},
        {L"C:/Data", false},
        {L"1:\\Data", false},
        {L"\\Data", false},
        {L"\\", false},
        {L"Orvalis\\Orvalis.exe", false},
        {L"\\\\", false},
        {L"\\\\server", false},
        {L"\\\\server\\", false},
        {L"\\\\server\\\\share", false},
        {L"\\\\\\share", false},
        {L"\\\\?\\", false},
        {L"/Data", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.full, IsFullyQualifiedPath(c.path))
            << (c.path != nullptr ? testing::PrintToString(std::wstring(c.path)) : "null");
}
