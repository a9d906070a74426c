// The library is set up once per process, with the sizes the launcher uses.
#include "VelumTest.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!Velum::initialize(16, 31, 32))
        return 3;
    return RUN_ALL_TESTS();
}
