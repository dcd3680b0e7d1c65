// The whole program: tallvik FILE [minwordlen [mincount]]
//
// Counts every word of FILE by its hash, then reads FILE again and prints
// each word met at least mincount times, once, at its first occurrence,
// followed by a summary.
#pragma once

// Runs the program on its arguments and returns the exit status: 0, 1 when
// the table filled up, 2 for a wrong command line. A file that cannot be
// opened, read or copied, or standard output that cannot be written, ends
// the process with status 2 and a message on standard error.
int run(int argc, char** argv);
