#pragma once

#include <windows.h>

// Elapsed time from the performance counter, the finest clock Windows offers.
class Stopwatch {
public:
    Stopwatch() { Restart(); }
    void Restart() { ::QueryPerformanceCounter(&m_start); }
    double Microseconds() const {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) * 1e6 /
               static_cast<double>(frequency.QuadPart);
    }
    double Milliseconds() const { return Microseconds() / 1000.0; }

private:
    LARGE_INTEGER m_start;
};
