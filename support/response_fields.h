// The template fields of the Response Strings dialog and the slots they edit.
#pragma once

#include <cstddef>

#include "platform/desktop.h"

// Each field's text reaches its slot through a 255-byte read, so at most 254 characters.
constexpr int kResponseFieldRead = 255;

// A dialog field and the template slot it shows.
struct ResponseField {
    int editId;
    int slot;
};

// Fills the fields from the slots (up to each slot's first NUL, or its 512 bytes).
void ShowResponseFields(WindowHandle dialog, const ResponseField* fields, std::size_t count);
// Reads the fields straight back into their slots (the bytes after each new terminator keep what
// they held), then saves the data file.
void StoreResponseFields(WindowHandle dialog, const ResponseField* fields, std::size_t count);
