#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "literaltable.h"
#include "table/frequencytable.h"

namespace {

template <std::int32_t Capacity>
std::unique_ptr<FrequencyTable<Capacity>> maketable()
{
    return std::make_unique<FrequencyTable<Capacity>>();
}

using Counts = std::vector<std::uint32_t>;

// What the table says for each of `hashes`.
template <typename Table>
Counts counts(Table& table, std::initializer_list<std::uint32_t> hashes)
{
    Counts found;
    for (std::uint32_t h : hashes)
        found.push_back(table.find(h));
    return found;
}

TEST(Table, CountsEachHashSeparately)
{
    auto table = maketable<8>();
    for (std::uint32_t h : {5u, 0u, 5u, 0xFFFFFFFFu, 5u})
        table->add(h);
    EXPECT_EQ(counts(*table, {5, 0, 0xFFFFFFFF, 6}), (Counts{3, 1, 1, 0}));
    EXPECT_EQ(table->size(), 3);
}

TEST(Table, WhenFullReplacesTheEarliestEntrySeenOnce)
{
    auto table = maketable<4>();
    for (std::uint32_t h : {10u, 11u, 12u, 13u})
        table->add(h);
    table->add(20); // takes the place of 10, the first entry seen once
    EXPECT_EQ(counts(*table, {10, 20}), (Counts{0, 1}));
    table->add(21); // the cursor stays: 20 goes again
    EXPECT_EQ(counts(*table, {20, 21}), (Counts{0, 1}));
    table->add(21); // 21 is now seen twice and keeps its place
    table->add(22); // so 11 goes next
    EXPECT_EQ(counts(*table, {11, 12, 13, 21, 22}), (Counts{0, 1, 1, 2, 1}));
    EXPECT_EQ(table->size(), 4);
}

TEST(Table, WhenFullOfRepeatedWordsLosesEveryNewWord)
{
    auto table = maketable<3>();
    for (std::uint32_t h : {1u, 2u, 3u, 1u, 2u, 3u})
        table->add(h);
    table->add(4);
    table->add(4);
    table->add(5);
    EXPECT_EQ(counts(*table, {4, 5, 1, 2, 3}), (Counts{0, 0, 2, 2, 2}));
    EXPECT_EQ(table->size(), 3);
}

TEST(Table, PrunesEveryEntryBelowTheMinimum)
{
    auto table = maketable<16>();
    for (std::uint32_t h = 1; h <= 10; ++h)
        for (std::uint32_t n = 0; n < h; ++n)
            table->add(h);
    table->prune(1);
    EXPECT_EQ(table->size(), 10);
    table->prune(4);
    EXPECT_EQ(table->size(), 7);
    EXPECT_EQ(counts(*table, {1, 3, 4, 10}), (Counts{0, 0, 4, 10}));
    table->prune(11);
    EXPECT_EQ(table->size(), 0);
    EXPECT_EQ(counts(*table, {10}), (Counts{0}));
}

TEST(Table, DropsOnlyTheEntryAsked)
{
    auto table = maketable<8>();
    for (std::uint32_t h : {7u, 8u, 9u, 9u})
        table->add(h);
    table->drop(42);
    EXPECT_EQ(table->size(), 3);
    EXPECT_EQ(table->find(7), 1u);
    table->drop(7); // right after its find
    table->drop(9); // without one
    EXPECT_EQ(table->size(), 1);
    EXPECT_EQ(counts(*table, {7, 8, 9}), (Counts{0, 1, 0}));
}

TEST(Table, StopsCountsAtTheirLargestValue)
{
    auto table = std::make_unique<FrequencyTable<4, std::uint8_t>>();
    for (int n = 0; n < 300; ++n)
        table->add(77);
    EXPECT_EQ(table->find(77), 255u);
}

TEST(Table, KeepsHashesThatCrowdOneBucketApart)
{
    // Hashes alike in their low bits, and sets large enough to wrap probe
    // runs around the end of the index, under several keys.
    for (std::uint64_t key : {0ull, 1ull, 0xDEADBEEFCAFEull}) {
        auto table = maketable<64>();
        table->setkey(key);
        for (std::uint32_t i = 0; i < 64; ++i)
            for (std::uint32_t n = 0; n <= i % 3; ++n)
                table->add(i << 20);
        for (std::uint32_t i = 0; i < 64; i += 2)
            table->drop(i << 20);
        for (std::uint32_t i = 0; i < 64; ++i)
            ASSERT_EQ(table->find(i << 20), i % 2 ? i % 3 + 1 : 0u) << "key " << key << ", i " << i;
    }
}

// Drives the fast table and the literal one through the same run: words
// added with a skewed distribution that fills the table and pushes counts
// past 8, 16 and 24, one pruning, then the second pass.
template <std::int32_t Capacity>
void matchliteral(std::mt19937& random)
{
    auto fast = maketable<Capacity>();
    auto literal = std::make_unique<LiteralTable<Capacity>>();
    fast->setkey(random());

    const std::uint32_t poolsize = 1 + random() % (3 * Capacity + 2);
    std::vector<std::uint32_t> pool(poolsize);
    for (std::uint32_t& h : pool)
        h = random() % 4 == 0 ? random() % 8 : random(); // some small values and 0 too
    auto pick = [&] {
        // Squaring a uniform draw favours the front of the pool.
        const double u = std::uniform_real_distribution<double>(0, 1)(random);
        return pool[static_cast<std::size_t>(u * u * poolsize)];
    };
    // Every hash either table can hold is in the pool, so equal sizes and
    // equal counts for the whole pool mean equal (hash, count) multisets.
    auto agree = [&](const char* when) {
        ASSERT_EQ(fast->size(), literal->used) << when;
        for (std::uint32_t h : pool)
            ASSERT_EQ(fast->find(h), literal->findword(h)) << when << ", hash " << h;
    };

    const int adds = static_cast<int>(random() % (40 * Capacity + 40));
    std::vector<std::uint32_t> text;
    for (int i = 0; i < adds; ++i) {
        text.push_back(pick());
        fast->add(text.back());
        literal->addword(text.back());
        agree("adding");
        if (::testing::Test::HasFatalFailure())
            return;
    }
    const std::uint32_t minimum = random() % 12;
    fast->prune(minimum);
    literal->prunewords(minimum);
    agree("pruning");
    if (::testing::Test::HasFatalFailure())
        return;
    for (std::uint32_t h : text) {
        const std::uint32_t count = literal->findword(h);
        ASSERT_EQ(fast->find(h), count) << "second pass";
        if (count != 0) {
            fast->drop(h);
            literal->dropword(h);
        }
        ASSERT_EQ(fast->size(), literal->used) << "second pass";
    }
    EXPECT_EQ(fast->size(), 0);
}

template <std::int32_t... Capacities>
void matchliteralat(std::mt19937& random, std::integer_sequence<std::int32_t, Capacities...>)
{
    (matchliteral<Capacities + 1>(random), ...);
}

TEST(Table, GivesTheResultsOfTheLiteralListAtEveryCapacity)
{
    std::mt19937 random(400000);
    for (int round = 0; round < 12; ++round) {
        matchliteralat(random, std::make_integer_sequence<std::int32_t, 64>{});
        if (HasFatalFailure())
            return;
    }
}

} // namespace
