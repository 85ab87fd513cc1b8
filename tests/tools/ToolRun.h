// Runs one of the tools' entry functions as its program would run, in the
// current directory, and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace mirt::test {

struct TToolRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

template <class Main>
TToolRun RunTool(Main main, const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    TToolRun run;
    run.ExitCode = main(args, out, err);
    run.Out = out.str();
    run.Err = err.str();
    return run;
}

} // namespace mirt::test
