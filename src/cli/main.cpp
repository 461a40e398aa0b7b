#include "cli/cli.h"
#include "platform/paths.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return kv::cli::run(args, std::cout, std::cerr, kv::platform::executableDirectory());
}
