#include <iostream>

#include "CliApp.h"
#include "Console.h"

int main(int argc, char **argv) {
    corvanta::cli::WatchCancelSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    return corvanta::cli::RunCli(args, std::cout, std::cerr);
}
