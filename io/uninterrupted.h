// System calls that a signal may interrupt before they move a byte.
#pragma once

#include <cerrno>
#include <sys/types.h>

// Calls `io` (a read, pread or write) again for as long as a signal
// interrupts it before it has moved anything, and returns what it returned
// last; errno tells why it failed, if it did.
template <class Call>
ssize_t uninterrupted(Call io)
{
    ssize_t n;
    do
        n = io();
    while (n < 0 && errno == EINTR);
    return n;
}
