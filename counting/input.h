// The input file, read in large blocks into a caller-supplied buffer.
//
// Every byte is read twice: once to count words, once to print them. A
// regular file is simply rewound; anything that cannot be rewound (a pipe, a
// FIFO, a terminal, /dev/stdin) has the bytes of the first reading copied to
// an anonymous temporary file, which the second reading then reads instead.
#pragma once

#include <cstddef>
#include <cstdint>

struct Input {
    // The unread part of the current block. The word reader advances `next`
    // itself and calls fill() only when the block is used up.
    const unsigned char* next = nullptr;
    const unsigned char* end = nullptr;

    unsigned char* block = nullptr;
    std::size_t blocksize = 0;
    int fd = -1;
    int copyfd = -1;       // the temporary copy, or -1 for a rewindable file
    bool copying = false;  // still in the first reading of a non-rewindable file
    int readerror = 0;     // errno of a failed read, 0 if none
    int copyerror = 0;     // errno of a failed write to the copy, 0 if none
    std::uint64_t consumed = 0; // bytes read so far in this reading

    // Called after every block with `consumed`, if set.
    void (*onblock)(std::uint64_t consumed) = nullptr;

    // Reads the next block. Returns its first byte and leaves `next` just
    // past it, or returns -1 at end of input or on an error (readerror or
    // copyerror tells which).
    int fill();
};

// Points `in` at the already open descriptor `fd`, reading through `block`.
// For input that cannot be rewound it also creates the temporary copy; it
// returns false with errno set if that fails.
bool attachinput(Input& in, int fd, unsigned char* block, std::size_t blocksize);

// The size of the file if it is known: a regular file's size, or once the
// first reading is done, the size of the copy. 0 otherwise.
std::uint64_t inputsize(const Input& in);

// Starts the second reading from the first byte. Returns false with errno
// set if the file cannot be rewound.
bool rewindinput(Input& in);

// Closes the file and its copy, if any.
void closeinput(Input& in);
