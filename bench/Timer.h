#pragma once

#include <windows.h>

// Wall-clock time since construction or the last Restart.
class CTimer
{
public:
    CTimer() { Restart(); }
    void Restart() { QueryPerformanceCounter(&m_start); }
    double Seconds() const
    {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) / frequency.QuadPart;
    }

private:
    LARGE_INTEGER m_start;
};
