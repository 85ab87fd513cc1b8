// mirt-walk: plays every path of a story and reports what they reach.
#include "tools/walk/Walk.h"

#include <iostream>

int main(int argc, char** argv)
{
    return mirt::tools::WalkMain(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
