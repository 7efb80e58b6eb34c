#include "runguard.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    RunGuard guard(QString::fromUtf8(argv[1]));
    const bool running = guard.tryToRun();
    std::printf("%s\n", running ? "run" : "blocked");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    return running ? 0 : 1;
}
