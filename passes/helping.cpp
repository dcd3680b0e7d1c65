#include "passes/helping.h"

#include <algorithm>

Helping::Helping(bool spare) : helping(spare), settling(spare) {}

void Helping::helped(std::int64_t wall, std::int64_t work)
{
    if (settling) {
        settling = false;
        return;
    }
    // Help pays if it saves a tenth of the time at least.
    if (wall * 10 <= work * 9) {
        length = window;
        stretch = firststretch;
        strikes = 0;
        return;
    }
    // A window that took a quarter longer than the work is no accident.
    strikes += wall * 4 > work * 5 ? 2 : 1;
    if (strikes < 2)
        return;
    helping = false;
    length = stretch * window;
    stretch = std::min(stretch * 4, longeststretch);
    strikes = 0;
}

void Helping::alone(bool spare)
{
    if (spare) {
        helping = true;
        settling = true;
        length = recheck = trywindow;
    } else {
        length = recheck;
        recheck = std::min(recheck * 2, longestrecheck);
    }
}
