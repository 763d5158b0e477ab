#include <algorithm>
#include <cstring>

#include "monitor/game_console.h"

namespace {

// Bytes remembered before the read position, to tell the same file from one started afresh.
constexpr std::size_t kTailSize = 64;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "YYYY-MM-DD HH:MM:SS " at the start of text.
bool StampAt(const std::string& text, std::size_t at) {
    static const char kShape[] = "dddd-dd-dd dd:dd:dd ";
    if (text.size() - at < sizeof kShape - 1)
        return false;
    for (std::size_t i = 0; i < sizeof kShape - 1; ++i) {
        char c = text[at + i];
        if (kShape[i] == 'd' ? !IsDigit(c) : c != kShape[i])
            return false;
    }
    return true;
}

// Cleans and hands over the pending line.
void FinishLine(ClientLog& log, std::vector<std::string>& lines) {
    lines.push_back(CleanClientLine(log.pending));
    log.pending.clear();
    log.skipping = false;
}

void Restart(ClientLog& log) {
    log.offset = 0;
    log.pending.clear();
    log.skipping = false;
    log.tail.clear();
}

// True when the bytes before the offset are still the ones read there.
bool SameFile(const ClientLog& log) {
    if (log.tail.empty())
        return true;
    std::string before(log.tail.size(), '\0');
    long got = DeskReadFileAt(log.path.c_str(), log.offset - static_cast<std::int64_t>(log.tail.size()),
                              &before[0], before.size());
    return got < 0 || (static_cast<std::size_t>(got) == before.size() && before == log.tail);
}

} // namespace

// The clients' colour codes are ^0 to ^9 (shared/qcommon/q_color.h:16-17 and :28, grey "^9", in both).
std::string WithoutColourCodes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string CleanClientLine(const std::string& raw) {
    std::size_t end = raw.size();
    if (end > 0 && raw[end - 1] == '\r')
        --end;
    std::string line = raw.substr(0, end);
    std::size_t at = 0;
    while (StampAt(line, at))
        at += 20;
    return WithoutColourCodes(line.substr(at)) + "\r";
}

void ReadClientLog(ClientLog& log, std::vector<std::string>& lines, std::size_t limit) {
    std::int64_t size = 0;
    if (!DeskFileStamp(log.path.c_str(), &size, nullptr))
        return;
    if (size < log.offset || !SameFile(log))
        Restart(log);
    if (size == log.offset)
        return;
    std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size - log.offset, static_cast<std::int64_t>(limit)));
    std::string chunk(want, '\0');
    long got = DeskReadFileAt(log.path.c_str(), log.offset, &chunk[0], want);
    if (got <= 0)
        return;
    chunk.resize(static_cast<std::size_t>(got));
    for (char c : chunk) {
        if (c == '\n') {
            if (!log.skipping)
                FinishLine(log, lines);
            log.skipping = false;
        } else if (c == '\0' || log.skipping)
            continue;
        else if (log.pending.size() < kClientLineLimit)
            log.pending += c;
        else {
            FinishLine(log, lines);
            log.skipping = true;
        }
    }
    log.offset += got;
    std::size_t keep = std::min(chunk.size(), kTailSize);
    log.tail += chunk.substr(chunk.size() - keep);
    if (log.tail.size() > kTailSize)
        log.tail.erase(0, log.tail.size() - kTailSize);
}
