// Any bytes, held to the model by the checks the unit tests make.
#include <cstdlib>

#include "checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!matches(Bytes(reinterpret_cast<const char*>(data), size)))
        std::abort();
    return 0;
}
