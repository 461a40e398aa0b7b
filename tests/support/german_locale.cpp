#include "support/german_locale.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace kv::test {

void GermanLocaleTest::SetUpTestSuite() {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
        return;
    s_locales = std::make_unique<TempDir>();
    const std::string command = "localedef -i de_DE -f UTF-8 '" +
                                (s_locales->path() / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) {
        setenv("LOCPATH", s_locales->path().c_str(), 1);
        std::setlocale(LC_ALL, "de_DE.UTF-8");
    }
}

void GermanLocaleTest::TearDownTestSuite() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    s_locales.reset();
}

void GermanLocaleTest::SetUp() {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
    if (std::string_view(buffer) != "1,5")
        GTEST_SKIP() << "no German locale could be set up (localedef or de_DE missing)";
}

} // namespace kv::test
