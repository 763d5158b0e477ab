// Any template, either mode, any value: the result is the template with its first conversion
// filled and every other character as it stands, and nothing is read past the 512-byte slot.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/text_pool.h"
#include "support/tracker_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6)
        return 0;
    int mode = data[0] % 3;
    std::int32_t number;
    std::memcpy(&number, data + 1, 4);
    std::size_t templateLength = data[5] * 4u;
    data += 6;
    size -= 6;
    if (templateLength > size)
        templateLength = size;
    if (templateLength > kTemplateSize)
        templateLength = kTemplateSize;

    // The slot exactly as large as its bytes, so an overread is caught.
    char* slot = static_cast<char*>(std::malloc(kTemplateSize));
    std::memset(slot, 0, kTemplateSize);
    std::memcpy(slot, data, templateLength);
    std::string text(reinterpret_cast<const char*>(data + templateLength), size - templateLength);
    text = text.c_str();

    const char* result =
        mode == 0 ? FormatResponse(0, slot, number) : FormatResponse(mode, slot, text.c_str());

    std::string expected;
    if (mode != 2) {
        char letter = mode == 0 ? 'd' : 's';
        std::size_t length = strnlen(slot, kTemplateSize);
        bool filled = false;
        for (std::size_t i = 0; i < length; ++i) {
            if (!filled && slot[i] == '%' && i + 1 < length && slot[i + 1] == letter) {
                expected += mode == 0 ? std::to_string(number) : text;
                filled = true;
                ++i;
            } else {
                expected += slot[i];
            }
        }
        if (expected.size() > 31999)
            expected.clear();
    }
    if (expected != result) {
        std::fprintf(stderr, "mode %d: expected \"%s\", got \"%s\"\n", mode, expected.c_str(), result);
        std::abort();
    }
    std::free(slot);
    return 0;
}
