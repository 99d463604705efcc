// The snapshot store against its plain model (tests/unit/store_model.hpp):
// the fuzzer's bytes are the operations. The first byte picks the heap or
// one RegionMemory; the model itself reads the rest. Any difference from the
// model stops the run, and under AddressSanitizer so does any byte read or
// written outside what the store handed out.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store_model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 1024)
        return 0;
    rdv_test::StoreModel model((data[0] & 1) != 0);
    const std::string problem = model.run(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    if (!problem.empty()) {
        std::fprintf(stderr, "MISMATCH: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
