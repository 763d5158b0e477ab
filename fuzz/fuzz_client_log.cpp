// Any bytes as a client's qconsole.log: read in two pieces, as the file grows between two polls, the
// lines are those one whole read gives, each finished once, bounded, without line feeds or NULs and
// ending in a carriage return; and no line, whole or cut anywhere, teaches a name that is not the
// answer's own text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/client_facts.h"
#include "monitor/game_console.h"
#include "tests/unit/fake_desktop.h"

namespace {

const char kPath[] = "C:\\Games\\base\\qconsole.log";

void Check(bool ok) {
    if (!ok)
        std::abort();
}

std::vector<std::string> ReadInPieces(const std::string& text, std::size_t split, std::size_t limit) {
    fake::Reset();
    ClientLog log;
    log.path = kPath;
    std::vector<std::string> lines;
    fake::Files()[kPath] = text.substr(0, split);
    ReadClientLog(log, lines, limit);
    fake::Files()[kPath] = text;
    // A small limit takes several reads to reach the end.
    for (std::size_t reads = 0; reads <= text.size() && log.offset < static_cast<std::int64_t>(text.size());
         ++reads)
        ReadClientLog(log, lines, limit);
    return lines;
}

// A name is only ever the text right after the answer's opening, up to a closing the answer has.
void CheckAnswer(const std::string& line) {
    std::string name;
    if (!NameInAnswer(line, &name))
        return;
    Check(line.size() >= 2 && line[line.size() - 1] == '\r' && name.size() < line.size());
    const char* opens[] = {"\"name\" is:\"", "Cvar name = \""};
    bool found = false;
    for (const char* open : opens) {
        std::size_t n = std::strlen(open);
        found = found || (line.compare(0, n, open) == 0 && line.compare(n, name.size(), name) == 0 &&
                          line.size() > n + name.size() && line[n + name.size()] == '"');
    }
    Check(found);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    std::size_t split = data[0] % (size - 1);
    std::size_t limit = 1 + data[1] % 64 * 16;
    std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::vector<std::string> whole = ReadInPieces(text, text.size(), text.size() + 1);
    std::vector<std::string> pieces = ReadInPieces(text, split, limit);
    Check(pieces == whole);
    for (const std::string& line : whole) {
        Check(!line.empty() && line.back() == '\r' && line.size() <= kClientLineLimit + 1);
        Check(line.find('\n') == std::string::npos && line.find('\0') == std::string::npos);
        CheckAnswer(line);
        for (std::size_t cut = 0; cut < line.size() && cut < 512; ++cut)
            CheckAnswer(line.substr(0, cut) + "\r");
    }
    // The cleaning alone, on the raw text as one line.
    std::string clean = CleanClientLine(text.substr(0, 4096));
    Check(!clean.empty() && clean.back() == '\r');
    CheckAnswer(clean);
    return 0;
}
