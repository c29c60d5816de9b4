#include <iostream>
#include <string>
#include <vector>

#include "ProgramFolder.h"
#include "installer.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return tessaline::installer::RunInstaller(args, GetProgramFolder(), std::cout, std::cerr);
}
