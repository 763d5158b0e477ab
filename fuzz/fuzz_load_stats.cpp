// Any file content: loading it and using every slot stays inside the record, and what was loaded
// saves to a file that loads back to the same record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/data_file.h"
#include "support/text_pool.h"
#include "support/tracker_state.h"
#include "tests/unit/fake_desktop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::Reset();
    ResetTrackerState();
    fake::Files()[kDataFileName] = std::string(reinterpret_cast<const char*>(data), size);
    LoadStats();
    for (int slot = 0; slot < kTemplateCount; ++slot) {
        FormatResponse(0, Tracker.ResponseTemplates[slot], Tracker.CapsCount.load());
        FormatResponse(1, Tracker.ResponseTemplates[slot], "title");
    }
    char templates[kTemplateCount][kTemplateSize];
    CopyTemplates(templates);
    std::int32_t caps = Tracker.CapsCount, seconds = Tracker.TotalSeconds, mode = Tracker.PlayerMode;
    SaveStats();
    ResetTrackerState();
    LoadStats();
    if (std::memcmp(templates, Tracker.ResponseTemplates, sizeof templates) != 0 ||
        caps != Tracker.CapsCount || seconds != Tracker.TotalSeconds || mode != Tracker.PlayerMode)
        std::abort();
    return 0;
}
