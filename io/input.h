// The input file, read in large blocks into a caller-supplied buffer: once
// from start to end, and then, if it can be read again, at the places of
// the words to print.
#pragma once

#include <cstddef>
#include <cstdint>

// The size of the blocks the input is read in.
inline constexpr std::size_t blockbytes = std::size_t{1} << 15;

// All zero until attached or opened, so that an object holding one may be
// all zero too.
struct Input {
    // The unread part of the current block. The word reader advances `next`
    // itself and calls fill() only when the block is used up.
    const unsigned char* next = nullptr;
    const unsigned char* end = nullptr;

    unsigned char* block = nullptr;
    // Where fill() reads the next block: `block`, unless the reader wants the
    // block it has kept while it reads on.
    unsigned char* into = nullptr;
    std::size_t blocksize = 0;
    std::uint64_t blockstart = 0; // the offset in the input of block[0]
    int fd = 0;
    int readerror = 0;            // errno of a failed read, 0 if none

    // With `atoffsets`, fill() reads at blockstart (pread), so that threads
    // can share one descriptor, and stops at `limit` as at end of input.
    bool atoffsets = false;
    std::uint64_t limit = 0;

    // Reads the next block into `into`, which becomes `block`. Returns its
    // first byte and leaves `next` just past it, or returns -1 at end of
    // input or on an error (readerror).
    int fill();
};

// Points `in` at the already open descriptor `fd`, reading through `block`.
void attachinput(Input& in, int fd, unsigned char* block, std::size_t blocksize);

// Whether the input can be read again at any offset: a regular file or a
// block device, not a pipe, FIFO, terminal or socket.
bool rereadable(const Input& in);

// The size of a regular file, 0 for anything else.
std::uint64_t inputsize(const Input& in);

// The `length` bytes at `offset` of an input that can be read again, or null
// if the input ends before them or cannot be read (readerror). Asked for in
// order of their offsets, each block of the input is read at most once.
const unsigned char* fetch(Input& in, std::uint64_t offset, std::size_t length);

void closeinput(Input& in);
