// The records of first occurrences on their own: what pass one notes comes
// back to pass two in order and numbered, with its offset or its bytes, while
// the notes stay in memory and once they go on in the temporary file.

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "passes/records.h"

namespace {

// Makes `word`, `spacing` bytes after the start of the word before, word `i`
// of `batch`, one that created an entry for `hash`.
void putword(Batch& batch, std::uint32_t i, std::uint32_t spacing, const std::string& word, std::uint32_t hash)
{
    batch.offsets[i] = static_cast<std::uint16_t>(spacing * i);
    batch.lengths[i] = static_cast<std::uint8_t>(word.size());
    batch.hashes[i] = hash;
    batch.created[i] = static_cast<std::uint16_t>(i);
    unsigned char* at = batch.straddling(i) ? batch.lastbytes : batch.data + batch.offsets[i];
    std::memcpy(at, word.data(), word.size());
}

std::uint64_t offered; // records next() has offered so far
bool everyother(std::uint64_t number, std::uint32_t)
{
    EXPECT_EQ(number, offered++);
    return number % 2 == 0;
}

TEST(Records, ComeBackInOrderAsNotedAndStayPutWhileHeld)
{
    static Records records; // 15 MB
    static Batch batch;
    batch.data = batch.block;
    struct Noted {
        std::uint32_t hash;
        std::uint64_t start;
        std::string bytes;
    };
    // With one thread the store holds some 370000 of these words: 400 blocks
    // of 2000 spill, and 800 blocks of offsets put more in the temporary file
    // than the store takes back at once. The whole run is done twice on the
    // same records.
    for (int round = 0; round < 4; ++round) {
        const bool keepwords = round % 2;
        records.start(keepwords, true, 1);
        std::vector<Noted> noted;
        for (std::uint32_t b = 0; b < (keepwords ? 400 : 800); ++b) {
            batch.blockstart = std::uint64_t{b} << 15;
            batch.words = batch.made = 2000;
            batch.straddles = b % 2; // the last word ran on into the next block
            batch.laststart = batch.blockstart + 32000;
            for (std::uint32_t i = 0; i < batch.words; ++i) {
                const std::string word(1 + (b + i) % 15, char('a' + i % 26));
                putword(batch, i, 16, word, b * 7919 + i);
                noted.push_back({batch.hashes[i], batch.start(i), word});
            }
            ASSERT_TRUE(records.record(batch));
        }
        ASSERT_TRUE(records.rewind());
        offered = 0;
        // Held 15 records long, as pass two holds them.
        Record held[16];
        std::size_t n = 0;
        // Words left in the store must stay there to the end, past every
        // refill from the temporary file.
        std::vector<std::pair<const unsigned char*, std::string>> inplace;
        for (std::size_t k = 0; k < noted.size(); k += 2, ++n) {
            ASSERT_EQ(records.next(held[n % 16], everyother), 1) << k;
            if (n < 15)
                continue;
            const Record& r = held[(n - 15) % 16];
            const Noted& expected = noted[k - 30];
            ASSERT_EQ(r.word.hash, expected.hash) << k;
            ASSERT_EQ(r.word.length, static_cast<int>(expected.bytes.size()));
            ASSERT_EQ(r.word.start, keepwords ? 0 : expected.start);
            // Offsets keep their words only while the store has room for them.
            ASSERT_TRUE(r.bytes != nullptr || !keepwords);
            if (r.bytes != nullptr) {
                ASSERT_EQ(std::string(reinterpret_cast<const char*>(r.bytes), expected.bytes.size()), expected.bytes);
                if (r.bytes != r.copy)
                    inplace.emplace_back(r.bytes, expected.bytes);
            }
        }
        EXPECT_EQ(records.next(held[0], everyother), 0);
        EXPECT_EQ(offered, noted.size());
        EXPECT_EQ(inplace.empty(), keepwords);
        for (const auto& [bytes, word] : inplace)
            ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes), word.size()), word);
    }
}

bool every(std::uint64_t, std::uint32_t) { return true; }

// A record that needs room takes it from the newest words kept, and from then
// on no record keeps its word, even one whose word would fit in the room a
// long word freed: pass two hands the words kept to the first records, in
// order. Long words fill the store, short ones take its room back.
TEST(Records, KeepTheWordsOfTheFirstRecordsAlone)
{
    static Records records;
    static Batch batch;
    batch.data = batch.block;
    batch.words = batch.made = 600;
    records.start(false, true, 1);
    std::vector<std::string> words;
    for (std::uint32_t b = 0; b < 230; ++b) {
        batch.blockstart = std::uint64_t{b} << 15;
        for (std::uint32_t i = 0; i < batch.words; ++i) {
            words.emplace_back(b < 200 ? 40 : 2, char('a' + (b + i) % 26));
            putword(batch, i, 48, words.back(), b * 600 + i);
        }
        ASSERT_TRUE(records.record(batch));
    }
    ASSERT_TRUE(records.rewind());
    Record r;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < words.size(); ++k) {
        ASSERT_EQ(records.next(r, every), 1);
        if (r.bytes == nullptr)
            continue;
        ASSERT_EQ(kept++, k);
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(r.bytes), words[k].size()), words[k]) << k;
    }
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 200u * 600);
}

// The words of records made once the table is full are seldom printed: with
// room to spare, the words kept are still those of the first records alone.
TEST(Records, KeepNoWordsOnceTheTableIsFull)
{
    static Records records;
    static Batch batch;
    batch.data = batch.block;
    records.start(false, true, 2);
    batch.words = batch.made = 2000;
    for (std::uint32_t b = 0; b < maxwords / 2000 + 2; ++b) {
        batch.blockstart = std::uint64_t{b} << 15;
        for (std::uint32_t i = 0; i < batch.words; ++i)
            putword(batch, i, 16, "abc", b * 2000 + i);
        ASSERT_TRUE(records.record(batch));
    }
    ASSERT_TRUE(records.rewind());
    Record r;
    for (std::uint32_t k = 0; k < maxwords + 4000; ++k) {
        ASSERT_EQ(records.next(r, every), 1);
        ASSERT_EQ(r.word.hash, k);
        ASSERT_EQ(r.bytes != nullptr, k < maxwords) << k;
    }
    EXPECT_EQ(records.next(r, every), 0);
}

// Once the table is full, a record of an offset has ten bits for its
// distance from the word before: further words take jumps besides, which
// must bring their offsets back exactly, in the middle of the records as at
// their very end.
TEST(Records, LateOffsetsComeBackExactAtAnyDistance)
{
    static Records records;
    static Batch batch;
    batch.data = batch.block;
    records.start(false, true, 1);
    std::vector<std::uint64_t> starts;
    const auto note = [&](std::uint64_t blockstart, std::uint32_t words) {
        batch.blockstart = blockstart;
        batch.words = batch.made = words;
        for (std::uint32_t i = 0; i < words; ++i) {
            putword(batch, i, 16, "ab", static_cast<std::uint32_t>(starts.size()));
            starts.push_back(batch.start(i));
        }
        ASSERT_TRUE(records.record(batch));
    };
    for (std::uint32_t b = 0; b < maxwords / 2000; ++b)
        note(std::uint64_t{b} << 15, 2000);
    const std::uint64_t far = std::uint64_t{1} << 42;
    const std::initializer_list<std::uint64_t> distances{1, 1023, 1024, 1025, 65535, far - 1, far, far + 1023, far << 10};
    for (int round = 0; round < 2; ++round) {
        for (const std::uint64_t distance : distances)
            note(starts.back() + distance, 1);
        note(starts.back() + 16, 2000);
    }
    note(starts.back() + (far << 20), 1);
    ASSERT_TRUE(records.rewind());
    Record r;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        ASSERT_EQ(records.next(r, every), 1);
        ASSERT_EQ(r.word.hash, k);
        ASSERT_EQ(r.word.start, starts[k]) << k;
    }
    EXPECT_EQ(records.next(r, every), 0);
}

// Another thread may read ahead of next() (peek) the records that lie in the
// store with their words, as far as it is told; next() then goes on after
// them, through the temporary file where the records went on there.
TEST(Records, PeekAheadAtTheRecordsInTheStoreThenGoOnAfterThem)
{
    static Records records;
    static Batch batch;
    batch.data = batch.block;
    batch.words = batch.made = 2000;
    for (const bool keepwords : {false, true}) {
        records.start(keepwords, true, 1);
        std::vector<std::string> words;
        for (std::uint32_t b = 0; b < 500; ++b) {
            batch.blockstart = std::uint64_t{b} << 15;
            for (std::uint32_t i = 0; i < batch.words; ++i) {
                words.emplace_back(1 + (b + i) % 15, char('a' + i % 26));
                putword(batch, i, 16, words.back(), b * 2000 + i);
            }
            ASSERT_TRUE(records.record(batch));
        }
        ASSERT_TRUE(records.rewind());
        Record r;
        for (std::uint32_t k = 0; k < 10; ++k)
            ASSERT_EQ(records.next(r, every), 1);
        Records::Place p = records.place();
        std::uint32_t k = 10;
        // Up to a number, to the words kept, to the end of the store.
        for (const std::uint64_t until : {std::uint64_t{1000}, std::uint64_t{300000}, std::uint64_t{words.size()}}) {
            for (; records.peek(p, until, r); ++k) {
                ASSERT_EQ(r.word.hash, k);
                ASSERT_EQ(p.number, k + 1u);
                ASSERT_TRUE(r.bytes != nullptr);
                ASSERT_EQ(std::string(reinterpret_cast<const char*>(r.bytes), words[k].size()), words[k]) << k;
            }
            if (until < words.size()) {
                EXPECT_EQ(k, std::min(until, records.withwords()));
            }
        }
        EXPECT_LT(k, words.size());
        // From a place noted on the way, as from the first.
        for (const std::uint64_t number : {std::uint64_t{16383}, std::uint64_t{16384}, std::uint64_t{k} - 1}) {
            Records::Place q = records.placebefore(number);
            Record s;
            while (q.number < number && records.peek(q, number, s)) {
            }
            ASSERT_TRUE(records.peek(q, number + 1, s));
            ASSERT_EQ(s.word.hash, number);
            ASSERT_EQ(s.word.start, keepwords ? 0 : (number / 2000 << 15) + 16 * (number % 2000));
            ASSERT_EQ(std::string(reinterpret_cast<const char*>(s.bytes), words[number].size()), words[number]);
        }
        records.moveto(p);
        for (; k < words.size(); ++k) {
            ASSERT_EQ(records.next(r, every), 1);
            ASSERT_EQ(r.word.hash, k);
            ASSERT_EQ(r.word.length, static_cast<int>(words[k].size()));
        }
        EXPECT_EQ(records.next(r, every), 0);
    }
}

} // namespace
