#include "cli/Commands.h"
#include "platform/CommandArguments.h"
#include "platform/Terminal.h"

#include <iostream>

int main(int argc, char** argv) {
    platform::setUpConsole();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments = platform::utf8Arguments(argc, argv);
    const int code = runKesto(arguments, {std::cout, std::cerr});
    std::cout.flush();
    return code;
}
