#include "support/locks.h"
#include "support/text_pool.h"

#include <cstdio>
#include <cstring>

#include "support/tracker_state.h"

FormatPool TextPool;
FormatPool ResponsePool;

namespace {

const char kEmptyText[1] = "";

// The menu switches format on the main thread while the monitor formats on its own: one lock keeps
// their scratch text and pool space apart.
Lock textPoolLock;

// Stores the scratch result of length n in the pool, wrapping to the start when it does not fit.
const char* StoreResult(FormatPool& pool, int n) {
    if (n < 0 || n > kPoolSize - 1)
        return kEmptyText;
    if (pool.Position + n > kPoolSize - 2)
        pool.Position = 0;
    char* result = pool.Pool + pool.Position;
    std::memcpy(result, pool.Scratch, static_cast<std::size_t>(n));
    result[n] = '\0';
    pool.Position += n + 1;
    return result;
}

} // namespace

const char* FormatTextV(const char* format, va_list args) {
    LockGuard guard(textPoolLock);
    int n = std::vsnprintf(TextPool.Scratch, sizeof TextPool.Scratch, format, args);
    return StoreResult(TextPool, n);
}

const char* FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const char* result = FormatTextV(format, args);
    va_end(args);
    return result;
}

const char* FormatResponse(int mode, const char* templ, ...) {
    char letter;
    switch (mode) {
    case 0: letter = 'd'; break;
    case 1: letter = 's'; break;
    default: return kEmptyText;
    }
    if (!templ)
        templ = kEmptyText;

    // Every '%' but the first one directly followed by the conversion letter is doubled, so the
    // template consumes exactly the one value it is given.
    char escaped[2 * kTemplateSize + 1];
    std::size_t length = strnlen(templ, kTemplateSize);
    std::size_t out = 0;
    bool kept = false;
    for (std::size_t i = 0; i < length; ++i) {
        char c = templ[i];
        bool conversion = c == '%' && i + 1 < length && templ[i + 1] == letter;
        if (c == '%' && (!conversion || kept)) {
            escaped[out++] = '%';
            escaped[out++] = '%';
        } else {
            escaped[out++] = c;
        }
        if (conversion)
            kept = true;
    }
    escaped[out] = '\0';

    va_list args;
    va_start(args, templ);
    int n;
    if (mode == 0) {
        std::int32_t value = va_arg(args, std::int32_t);
        n = std::snprintf(ResponsePool.Scratch, sizeof ResponsePool.Scratch, escaped, value);
    } else {
        const char* value = va_arg(args, const char*);
        n = std::snprintf(ResponsePool.Scratch, sizeof ResponsePool.Scratch, escaped, value ? value : "");
    }
    va_end(args);
    return StoreResult(ResponsePool, n);
}

void ResetFormatPools() {
    LockGuard guard(textPoolLock);
    TextPool.Position = 0;
    ResponsePool.Position = 0;
}
