// Bounded string helpers for texts read from other windows.
#pragma once

#include <cstddef>
#include <cstdint>

// Length of the text within its claimed size. A missing text, or one without a terminator there
// (which is then cut at claimedSize, so the buffer needs room for that byte), is reported in the
// companion's one message box and counts as length 0.
std::int32_t CheckTerminated(char* buffer, std::int32_t claimedSize);

// Occurrences of needle in haystack (of claimed size `size`), its last character excepted.
std::int32_t CountOccurrences(char needle, char* haystack, std::int32_t size);

// Line n (from 0) of text (of claimed size `size`): line feeds dropped, everything else kept. A new
// heap text the caller frees with free(); null only when memory runs out.
char* GetLine(char* text, std::int32_t size, std::int32_t n);

// Offset of the first match of needle in haystack, folding only a to z; -1 when there is none.
std::int32_t FindNoCase(const char* haystack, const char* needle);

char ToUpperAscii(char c);

// The first `length` characters of a and b are the same, folding only a to z (both hold that many).
bool SameNoCase(const char* a, const char* b, std::size_t length);
// The whole texts are the same, folding only a to z.
bool SameNoCase(const char* a, const char* b);

// The line against a pattern "%s<rest>" filled with `name`, as FormatText and strcmp would compare
// them, without formatting: every console line is matched against dozens of such patterns.
bool LineMatchesFilled(const char* line, const char* pattern, const char* name);
// How many characters of the line the pattern "%s<rest>" filled with `name` covers when the line
// starts with it; 0 when it does not.
std::size_t FilledPrefixLength(const char* line, const char* pattern, const char* name);
