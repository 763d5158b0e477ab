#include "support/response_fields.h"

#include <cstring>

#include "support/data_file.h"
#include "support/tracker_state.h"

void ShowResponseFields(WindowHandle dialog, const ResponseField* fields, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        char text[kTemplateSize + 1];
        CopyTemplate(fields[i].slot, text);
        DeskSendMessage(DeskGetDlgItem(dialog, fields[i].editId), kWmSetText, 0,
                        reinterpret_cast<std::intptr_t>(text));
    }
}

void StoreResponseFields(WindowHandle dialog, const ResponseField* fields, std::size_t count) {
    // Read into a copy, so the monitor never fills a template that is half written.
    char templates[kTemplateCount][kTemplateSize];
    CopyTemplates(templates);
    for (std::size_t i = 0; i < count; ++i) {
        DeskSendMessage(DeskGetDlgItem(dialog, fields[i].editId), kWmGetText, kResponseFieldRead,
                        reinterpret_cast<std::intptr_t>(templates[fields[i].slot]));
    }
    ReplaceTemplates(templates);
    SaveStats();
}
