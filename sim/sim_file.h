// The stand-ins' input and output files. No Win32 in here.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace qxsim {

enum class FileRead { Whole, CannotOpen, TooLarge, CannotRead };

// Reads the file at path into *out, at most max bytes; a larger file is refused before any more is read.
// CannotRead still leaves in *out what was read before the error.
inline FileRead ReadWholeFile(const char* path, size_t max, std::string* out) {
    out->clear();
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        return FileRead::CannotOpen;
    }
    char chunk[8192];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
        if (out->size() + n > max) {
            std::fclose(f);
            return FileRead::TooLarge;
        }
        out->append(chunk, n);
    }
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    return readError ? FileRead::CannotRead : FileRead::Whole;
}

// Closes an output file that may not be open, and forgets it.
inline void CloseFile(std::FILE** file) {
    if (*file) {
        std::fclose(*file);
        *file = nullptr;
    }
}

} // namespace qxsim
