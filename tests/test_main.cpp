// Shared entry point of the test programs: GoogleTest, with output unbuffered
// so that a test killed by its time-out still shows how far it got.
#include <stdio.h>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
