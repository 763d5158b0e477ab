#include "support/response_fields.h"

#include <cstring>

#include "support/data_file.h"
#include "support/tracker_state.h"
#include "ui/resource.h"

namespace {

struct ResponseField {
    int editId;
    int slot;
};

// The fields show caps first, the slots keep FC frags first.
const ResponseField kResponseFields[] = {
    {IDC_CAPS_EDIT, kSlotCaps},
    {IDC_FCFRAGS_EDIT, kSlotFcFrags},
    {IDC_RETURNS_EDIT, kSlotReturns},
    {IDC_NOWPLAYING_EDIT, kSlotNowPlaying},
};

} // namespace

void ShowResponseFields(WindowHandle dialog) {
    for (const ResponseField& field : kResponseFields) {
        const char* slot = Tracker.ResponseTemplates[field.slot];
        char text[kTemplateSize + 1];
        std::size_t length = strnlen(slot, kTemplateSize);
        std::memcpy(text, slot, length);
        text[length] = '\0';
        DeskSendMessage(DeskGetDlgItem(dialog, field.editId), kWmSetText, 0,
                        reinterpret_cast<std::intptr_t>(text));
    }
}

void StoreResponseFields(WindowHandle dialog) {
    for (const ResponseField& field : kResponseFields) {
        DeskSendMessage(DeskGetDlgItem(dialog, field.editId), kWmGetText, kResponseFieldRead,
                        reinterpret_cast<std::intptr_t>(Tracker.ResponseTemplates[field.slot]));
    }
    SaveStats();
}
