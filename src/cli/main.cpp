#include <iostream>

#include "CliApp.h"

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return corvanta::cli::RunCli(args, std::cout, std::cerr);
}
