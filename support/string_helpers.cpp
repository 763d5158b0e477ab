#include "support/string_helpers.h"

#include <cstdlib>
#include <cstring>

#include "support/text_pool.h"
#include "support/tracker_state.h"

std::int32_t CheckTerminated(char* buffer, std::int32_t claimedSize) {
    if (buffer) {
        for (std::int32_t i = 0; i < claimedSize; ++i) {
            if (buffer[i] == '\0')
                return i;
        }
        buffer[claimedSize > 0 ? claimedSize : 0] = '\0';
    }
    // The address as the 32-bit number the original platform printed.
    std::int32_t address =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer)));
    DeskMessageBox(Tracker.MainWindow, FormatText("%d (claimed to be size %d!)", address, claimedSize),
                   "String not correctly terminated:", kMbIconInformation);
    return 0;
}

std::int32_t CountOccurrences(char needle, char* haystack, std::int32_t size) {
    std::int32_t length = CheckTerminated(haystack, size);
    std::int32_t count = 0;
    for (std::int32_t k = 0; k < length - 1; ++k) {
        if (haystack[k] == needle)
            ++count;
    }
    return count;
}

char* GetLine(char* text, std::int32_t size, std::int32_t n) {
    std::int32_t length = CheckTerminated(text, size);
    char* line = static_cast<char*>(std::calloc(static_cast<std::size_t>(length) + 1, 1));
    if (!line)
        return nullptr;
    std::int32_t lineNumber = 0;
    std::int32_t out = 0;
    for (std::int32_t i = 0; i < length && lineNumber <= n; ++i) {
        if (text[i] == '\n')
            ++lineNumber;
        else if (lineNumber == n)
            line[out++] = text[i];
    }
    line[out] = '\0';
    return line;
}

std::int32_t FindNoCase(const char* haystack, const char* needle) {
    if (!haystack || !needle || haystack[0] == '\0')
        return -1;
    for (std::int32_t s = 0; haystack[s] != '\0'; ++s) {
        std::int32_t j = 0;
        while (needle[j] != '\0' && haystack[s + j] != '\0' &&
               ToUpperAscii(needle[j]) == ToUpperAscii(haystack[s + j]))
            ++j;
        if (needle[j] == '\0')
            return s;
    }
    return -1;
}

char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::size_t FilledPrefixLength(const char* line, const char* pattern, const char* name) {
    std::size_t nameLength = std::strlen(name);
    std::size_t rest = std::strlen(pattern + 2);
    if (std::strncmp(line, name, nameLength) != 0 || std::strncmp(line + nameLength, pattern + 2, rest) != 0)
        return 0;
    return nameLength + rest;
}

bool LineMatchesFilled(const char* line, const char* pattern, const char* name) {
    std::size_t nameLength = std::strlen(name);
    return std::strncmp(line, name, nameLength) == 0 && std::strcmp(line + nameLength, pattern + 2) == 0;
}

bool SameNoCase(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (ToUpperAscii(a[i]) != ToUpperAscii(b[i]))
            return false;
    return true;
}

bool SameNoCase(const char* a, const char* b) {
    std::size_t length = std::strlen(a);
    return length == std::strlen(b) && SameNoCase(a, b, length);
}
