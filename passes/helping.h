// Whether pass one's reader thread is worth running: judged window by
// window from what the two threads did, since no one can say beforehand
// whether the machine has a core to spare.
//
// On an idle machine the reader and the counter run side by side, and a
// window takes about half the time the two spent working. On a busy one
// (other work, a pipe's writer, another run) they take turns for the cores
// there are: each waits for the other, the one in front runs out of ring,
// and the window takes longer than their work together, which is about
// what the counter alone would take, reading as well. Then the reader stops
// and the counter reads for itself.
//
// After a stretch of windows the reader tries again, for a short window;
// each try that fails makes the next stretch four times as long. A try
// costs about the time the scheduler makes a thread wait for a core, a few
// milliseconds, however short the window: so none is made while every core
// is taken, which the system's count of running threads tells cheaply.
#pragma once

#include <cstdint>

class Helping {
public:
    // Batches in a window while the help pays, and in one that tries it.
    static constexpr std::uint32_t window = 32, trywindow = 8;

    // Starts with help if a core is `spare`, else alone for a short window.
    explicit Helping(bool spare);

    // Whether the reader helps in the current window.
    bool helps() const { return helping; }

    // The batches in the current window.
    std::uint32_t batches() const { return length; }

    // Ends a window in which the reader helped, which took `wall`
    // nanoseconds while the two threads worked (were running and not
    // waiting) `work` between them.
    void helped(std::int64_t wall, std::int64_t work);

    // Ends a stretch the counter read alone, after which a core is `spare`
    // or not.
    void alone(bool spare);

private:
    // Stretches without help, in windows.
    static constexpr std::uint32_t firststretch = 1, longeststretch = 256;
    static constexpr std::uint32_t longestrecheck = 2 * window;

    bool helping;
    // The first window after the reader is asked to help is not judged: it
    // may take a while to start or wake (an idle core of a virtual machine
    // can take a millisecond).
    bool settling;
    std::uint32_t length = trywindow;
    std::uint32_t stretch = firststretch;
    // Batches until the count of running threads is read again, while no
    // core is spare: twice as many each time, since a busy machine tends to
    // stay busy, but few at first, since the run's own start can wake
    // threads of the system for a moment.
    std::uint32_t recheck = trywindow;
    // Strikes against the help, from windows in a row that it did not pay;
    // two end it, so that one window slowed a little by something else (on a
    // virtual machine, a core taken away for a moment) does not.
    std::uint32_t strikes = 0;
};
