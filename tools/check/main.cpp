// mirt-check: reports what is wrong with a story, by line.
#include "tools/check/Check.h"

#include <iostream>

int main(int argc, char** argv)
{
    return mirt::tools::CheckMain(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
