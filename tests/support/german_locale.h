#pragma once

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>

namespace kv::test {

// A test suite that runs with a German process locale, whose decimal separator is
// ",": numbers written and read for files must not notice. The locale is compiled
// into a temporary folder when the machine has none installed; without localedef
// the tests are skipped.
class GermanLocaleTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

  private:
    static inline std::unique_ptr<TempDir> s_locales;
};

} // namespace kv::test
