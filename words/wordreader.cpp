#include "words/wordreader.h"

#include <cstring>

using namespace wordbytes;

// One pass over the bytes as a small state machine that also hashes each
// byte as it is stored, so that a word's bytes are touched once and its end
// costs one mispredicted branch, not two. The block cursor lives in locals so
// that stores into `buf` (which may alias anything) do not force it back to
// memory; the common case, a run of letters inside one block, is a table
// lookup, a store and a hash step per byte.
int readword(Input& in, unsigned char* buf, int maxlen, int minwordlen, Word& word)
{
    const unsigned char* p = in.next;
    const unsigned char* end = in.end;
    auto get = [&]() -> int {
        if (p != end)
            return *p++;
        int ch = in.fill();
        p = in.next;
        end = in.end;
        return ch;
    };
    int n = 0;
    wordhash h = 0;
    // Bytes past `maxlen` are dropped but still belong to the word, so they
    // never begin another one.
    auto store = [&](int ch) {
        if (n < maxlen) {
            buf[n++] = static_cast<unsigned char>(ch);
            h = hashstep(h, static_cast<unsigned char>(ch));
        }
    };

    // Everything past the word stays zero from here on. The usual size is
    // cleared with a few inline stores rather than a call.
    if (maxlen == maxwordlen)
        std::memset(buf, 0, maxwordlen + 1);
    else
        std::memset(buf, 0, static_cast<std::size_t>(maxlen) + 1);

    int ch;
    std::uint64_t start = 0;
    for (;;) {
        do
            ch = get();
        while (ch >= 0 && !(classes[ch] & (letter | apostrophe)));
        if (ch < 0)
            break;
        start = in.blockstart + static_cast<std::uint64_t>(p - 1 - in.block);

        // ch is a letter, apostrophe, backtick or hyphen here.
        for (;;) {
            const unsigned char kind = classes[ch];
            if (kind & (apostrophe | backtick)) {
                store(ch);
                ch = get();
                if (ch < 0 || !(classes[ch] & letter))
                    break; // the joiner stays; the byte after it is consumed
                store(ch);
            } else if (kind & hyphen) {
                if (n == 0)
                    break;
                const bool stored = n < maxlen;
                const wordhash before = h;
                store(ch);
                ch = get();
                if (ch < 0)
                    break; // finishing strips the trailing hyphen
                if (!(classes[ch] & letter)) {
                    if (stored) {
                        buf[--n] = 0;
                        h = before;
                    }
                    break;
                }
                store(ch);
            } else {
                store(ch);
            }
            // The hot loop: the rest of a run of letters.
            while ((ch = get()) >= 0 && (classes[ch] & letter))
                store(ch);
            if (ch < 0 || !(classes[ch] & (apostrophe | backtick | hyphen)))
                break; // a separator ends the word and is consumed
        }
        if (ch < 0 || n >= minwordlen)
            break;
        while (n > 0)
            buf[--n] = 0;
        h = 0;
    }

    // A trailing hyphen goes; at end of input so does a fragment too short to
    // be a word. Both are rare, so the hash is simply taken again.
    if (n > 0 && (buf[n - 1] == '-' || n < minwordlen)) {
        do
            buf[--n] = 0;
        while (n > 0 && (buf[n - 1] == '-' || n < minwordlen));
        h = hashbytes(buf, static_cast<std::size_t>(n));
    }
    word.start = start;
    in.next = p;
    in.end = end;
    word.hash = h;
    word.length = n;
    return ch;
}
