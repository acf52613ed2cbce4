// vexmoor-dbf: command-line access to the statistics tables (see dbftool.h).
#include "dbftool.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    int rc = dbftool::Run(args, std::cin, std::cout, std::cerr);
    std::cout.flush();
    return rc;
}
