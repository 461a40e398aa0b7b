#include "support/temp_dir.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    kv::test::setTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
