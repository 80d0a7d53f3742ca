// Test programs that boot the firmware end with _exit: the firmware thread
// never returns and still holds the board.
#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/fw_board.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    fwtest::remove_temp_dir();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(rc);
}
