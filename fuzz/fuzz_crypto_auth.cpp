// Authenticator recovery: any 0 to 128 bytes, never more than 128 bytes written to out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 129) return 0;
    // The first byte picks the length passed (0..128), the rest is the authenticator.
    const int length = size == 0 ? 0 : data[0] % 129;
    std::vector<unsigned char> in(data + (size > 0), data + size);
    in.resize(static_cast<size_t>(length));
    std::vector<unsigned char> out(128);
    const int r = ZqXmlU_DeencryptAuthenticator(in.data(), length, out.data());
    if (r != 0 && r != 1) std::abort();
    return 0;
}
