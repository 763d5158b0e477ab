#include "support/locks.h"
#include "support/data_file.h"

#include <cstdint>
#include <cstring>

#include "platform/desktop.h"
#include "support/tracker_state.h"

namespace {

constexpr std::size_t kIntegerCount = 8;
constexpr std::size_t kTemplateBytes = kTemplateCount * kTemplateSize;
static_assert(kIntegerCount * 4 + kTemplateBytes == kRecordSize, "record layout");

// Enough of the file for a record whose every byte is 0x0A, with one byte to look ahead.
constexpr std::size_t kStoredLimit = 2 * kRecordSize + 2;

Lock saveLock;

SharedInt* IntegerField(std::size_t index) {
    SharedInt* fields[kIntegerCount] = {
        &Tracker.CapsCount, &Tracker.FcFragCount, &Tracker.ReturnsCount, &Tracker.Power,
        &Tracker.Silent,    &Tracker.Echo,        &Tracker.PlayerMode,   &Tracker.TotalSeconds,
    };
    return fields[index];
}

} // namespace

std::size_t EncodeStoredForm(const unsigned char* record, std::size_t size, unsigned char* out) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (record[i] == 0x0A)
            out[n++] = 0x0D;
        out[n++] = record[i];
    }
    return n;
}

std::size_t DecodeStoredForm(const unsigned char* stored, std::size_t size, unsigned char* out,
                             std::size_t capacity) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < size && n < capacity; ++i) {
        if (stored[i] == 0x0D && i + 1 < size && stored[i + 1] == 0x0A)
            ++i;
        out[n++] = stored[i];
    }
    return n;
}

void LoadStats() {
    unsigned char stored[kStoredLimit];
    long got = DeskReadFile(kDataFileName, stored, sizeof stored);
    if (got < 0)
        return;
    unsigned char record[kRecordSize];
    std::size_t n = DecodeStoredForm(stored, static_cast<std::size_t>(got), record, sizeof record);

    // Each field takes what the file still has: a field cut short gets only its low bytes replaced.
    std::size_t offset = 0;
    for (std::size_t f = 0; f < kIntegerCount && offset < n; ++f) {
        SharedInt* field = IntegerField(f);
        std::uint32_t value = static_cast<std::uint32_t>(field->load());
        for (std::size_t b = 0; b < 4 && offset < n; ++b, ++offset) {
            value &= ~(0xFFu << (8 * b));
            value |= static_cast<std::uint32_t>(record[offset]) << (8 * b);
        }
        *field = static_cast<std::int32_t>(value);
    }
    if (offset < n) {
        char templates[kTemplateCount][kTemplateSize];
        CopyTemplates(templates);
        std::memcpy(templates, record + offset, n - offset);
        ReplaceTemplates(templates);
    }
}

void SaveStats() {
    LockGuard guard(saveLock);
    unsigned char record[kRecordSize];
    for (std::size_t f = 0; f < kIntegerCount; ++f) {
        std::uint32_t value = static_cast<std::uint32_t>(IntegerField(f)->load());
        for (std::size_t b = 0; b < 4; ++b)
            record[f * 4 + b] = static_cast<unsigned char>(value >> (8 * b));
    }
    char templates[kTemplateCount][kTemplateSize];
    CopyTemplates(templates);
    std::memcpy(record + kIntegerCount * 4, templates, kTemplateBytes);

    static unsigned char stored[2 * kRecordSize];
    std::size_t size = EncodeStoredForm(record, sizeof record, stored);
    // A crash or a failed write leaves at most a stray temporary file, never a short data file.
    if (!DeskWriteFile(kDataFileTemp, stored, size) || !DeskReplaceFile(kDataFileTemp, kDataFileName))
        DeskDeleteFile(kDataFileTemp);
}
