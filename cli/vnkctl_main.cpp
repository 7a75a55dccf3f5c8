#include "cli/vnkctl.h"

#include "platform/program_dir.h"

#include <unistd.h>

#include <iostream>

int main(int argc, char** argv) {
    vnk::cli::Environment env;
    env.programDirectory = vnk::platform::programDirectory();
    env.terminal = ::isatty(STDERR_FILENO) == 1;
    env.input = &std::cin;
    env.inputTerminal = ::isatty(STDIN_FILENO) == 1;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vnk::cli::run(args, std::cout, std::cerr, env);
}
