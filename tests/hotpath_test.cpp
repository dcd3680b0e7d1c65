// The promise of constant memory: counting allocates nothing, however long
// the input.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "counting/wordreader.h"
#include "table/frequencytable.h"
#include "table/table.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace {

TEST(HotPath, CountsAndPrintsWithoutAllocating)
{
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "word" + std::to_string(i % 5000) + (i % 7 ? " " : "-x'y\n");
    const int fd = memfd_create("text", MFD_CLOEXEC);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    lseek(fd, 0, SEEK_SET);
    auto block = std::make_unique<unsigned char[]>(4096);
    auto table = std::make_unique<FrequencyTable<maxwords>>();
    Input in;
    ASSERT_TRUE(attachinput(in, fd, block.get(), 4096));
    unsigned char buf[maxwordlen + 2];
    wordhash h;

    const long before = allocations;
    while (readword(in, buf, maxwordlen, h) >= 0)
        table->add(h);
    table->prune(2);
    ASSERT_TRUE(rewindinput(in));
    while (readword(in, buf, maxwordlen, h) >= 0) {
        if (table->find(h) != 0)
            table->drop(h);
    }
    EXPECT_EQ(allocations - before, 0);
    EXPECT_EQ(table->size(), 0);
    close(fd);
}

} // namespace
