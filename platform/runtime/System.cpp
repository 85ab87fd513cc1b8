#include "System.h"

#include <chrono>
#include <random>
#include <utility>

namespace mirt {
namespace {

std::function<void()>& AlertHandler()
{
    static std::function<void()> handler;
    return handler;
}

std::function<void()>& QuitHandler()
{
    static std::function<void()> handler;
    return handler;
}

std::mt19937& Generator()
{
    static std::mt19937 generator;
    return generator;
}

} // namespace

void AlertSound()
{
    if (AlertHandler()) AlertHandler()();
}

void SetAlertSoundHandler(std::function<void()> handler) { AlertHandler() = std::move(handler); }

void RequestQuit()
{
    if (QuitHandler()) QuitHandler()();
}

void SetQuitRequestHandler(std::function<void()> handler) { QuitHandler() = std::move(handler); }

void Randomize()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    Generator().seed(
        static_cast<std::mt19937::result_type>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
}

int Random(int n)
{
    if (n <= 0) return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(Generator());
}

} // namespace mirt
