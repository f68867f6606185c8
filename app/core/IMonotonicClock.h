#pragma once
// Milliseconds from a clock that never goes back. The scan loop measures pump intervals,
// display intervals and the remaining time with it; tests script it.
#include <chrono>
#include <cstdint>

class IMonotonicClock
{
public:
    virtual ~IMonotonicClock() = default;
    virtual uint64_t NowMs() = 0;
};

// The steady clock of the standard library.
class KSteadyClock final : public IMonotonicClock
{
public:
    uint64_t NowMs() override
    {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }

    static KSteadyClock* Instance()
    {
        static KSteadyClock s_Clock;
        return &s_Clock;
    }
};
