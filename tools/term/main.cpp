// mirt-term: plays a story on a text terminal.
#include "tools/term/Term.h"

#include <iostream>

int main(int argc, char** argv)
{
    return mirt::tools::TermMain(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
