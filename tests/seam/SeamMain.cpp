// Test entry for unit tests of product code: every test starts with a clean
// seam and ends by proving that nothing it acquired is still outstanding and
// that no block it freed had been written past its end.
#include <gtest/gtest.h>

#include "Seam.h"

namespace
{

class LeakChecker : public testing::EmptyTestEventListener
{
    void OnTestStart(const testing::TestInfo&) override { SeamReset(); }

    void OnTestEnd(const testing::TestInfo&) override
    {
        EXPECT_TRUE(SeamNothingOutstanding()) << "Leak: " << SeamDescribeOutstanding();
        EXPECT_EQ(0, SeamOverruns())
            << "Overrun: " << SeamOverruns() << " block(s) written past their end";
        SeamReset();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new LeakChecker);
    return RUN_ALL_TESTS();
}
