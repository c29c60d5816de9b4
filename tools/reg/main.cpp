#include <iostream>
#include <string>
#include <vector>

#include "tools/reg/reg_command.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return tessaline::reg_tool::RunRegCommand(args, std::cout, std::cerr);
}
