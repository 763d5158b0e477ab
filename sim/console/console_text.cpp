#include "console_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace qxsim {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// snprintf that reports what it really wrote, never what it would have liked to.
size_t put(char* out, size_t cap, const char* fmt, ...) {
    if (!out || cap == 0) {
        return 0;
    }
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(out, cap, fmt, ap);
    va_end(ap);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
}

bool IsComment(const char* s, size_t len, size_t i) {
    return i + 1 < len && s[i] == '/' && s[i + 1] == '/';
}

bool SpanIs(const char* s, size_t len, const char* word) {
    size_t n = std::strlen(word);
    return len == n && std::memcmp(s, word, n) == 0;
}

} // namespace

bool IsColourCode(const char* s, size_t remaining) {
    return s && remaining >= 2 && s[0] == '^' && s[1] >= '0' && s[1] <= '7';
}

size_t CleanMessage(const char* msg, size_t len, char* out, size_t cap) {
    if (!out || cap == 0) {
        return 0;
    }
    if (cap < 3) {
        out[0] = '\0';
        return 0;
    }
    if (!msg) {
        len = 0;
    }
    if (len > kMaxMessage) {
        msg += len - kMaxMessage;
        len = kMaxMessage;
    }
    const size_t room = cap - 3; // the final CRLF and the NUL always fit
    size_t n = 0;
    bool atLineEnd = false;
    for (size_t i = 0; i < len; ++i) {
        char c = msg[i];
        if (IsColourCode(msg + i, len - i)) {
            ++i;
            continue;
        }
        if (c == '\0') {
            continue; // would cut the log's C string short
        }
        if (c == '\r' || c == '\n') {
            if (n + 2 > room) {
                break;
            }
            out[n++] = '\r';
            out[n++] = '\n';
            atLineEnd = true;
            continue;
        }
        if (n + 1 > room) {
            break;
        }
        out[n++] = c;
        atLineEnd = false;
    }
    if (!atLineEnd) {
        out[n++] = '\r';
        out[n++] = '\n';
    }
    out[n] = '\0';
    return n;
}

bool CounterAdd(LogCounter* counter, size_t len) {
    if (!counter) {
        return false;
    }
    unsigned long added = len > kLogLimit ? kLogLimit + 1 : static_cast<unsigned long>(len);
    if (counter->total > kLogLimit) {
        counter->total = kLogLimit + 1; // keeps the sum below from wrapping
    }
    counter->total += added;
    if (counter->total > kLogLimit) {
        counter->total = added;
        return true;
    }
    return false;
}

size_t CommandSlash(const char* line, size_t len) {
    return (line && len > 0 && (line[0] == '\\' || line[0] == '/')) ? 1 : 0;
}

size_t NextCommand(const char* text, size_t len, size_t pos, Span* cmd) {
    if (!text || pos >= len) {
        if (cmd) {
            cmd->start = len;
            cmd->len = 0;
        }
        return len;
    }
    size_t i = pos;
    bool quoted = false;
    bool comment = false;
    for (; i < len; ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            break;
        }
        if (comment) {
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '/' && i + 1 < len && text[i + 1] == '/') {
            comment = true;
        } else if (c == ';' && !quoted) {
            break;
        }
    }
    size_t start = pos;
    size_t end = i;
    while (start < end && IsBlank(text[start])) {
        ++start;
    }
    while (end > start && IsBlank(text[end - 1])) {
        --end;
    }
    if (cmd) {
        cmd->start = start;
        cmd->len = end - start;
    }
    return i < len ? i + 1 : len;
}

void tokenize(const char* cmd, size_t len, Args* args) {
    if (!args) {
        return;
    }
    args->argc = 0;
    if (!cmd) {
        return;
    }
    const size_t cap = sizeof(args->storage);
    size_t out = 0;
    size_t i = 0;
    while (i < len && args->argc < kMaxArgs) {
        while (i < len && IsBlank(cmd[i])) {
            ++i;
        }
        if (i >= len || out >= cap || IsComment(cmd, len, i)) {
            break;
        }
        char* word = args->storage + out;
        if (cmd[i] == '"') {
            ++i;
            while (i < len && cmd[i] != '"') {
                if (out + 1 < cap) {
                    args->storage[out++] = cmd[i];
                }
                ++i;
            }
            if (i < len) {
                ++i; // the closing quote
            }
        } else {
            while (i < len && !IsBlank(cmd[i]) && cmd[i] != '"' && !IsComment(cmd, len, i)) {
                if (out + 1 < cap) {
                    args->storage[out++] = cmd[i];
                }
                ++i;
            }
        }
        args->storage[out++] = '\0';
        args->argv[args->argc++] = word;
    }
}

size_t JoinArgs(const Args* args, int from, char* out, size_t cap) {
    if (!out || cap == 0) {
        return 0;
    }
    size_t n = 0;
    out[0] = '\0';
    if (!args || from < 0) {
        return 0;
    }
    for (int k = from; k < args->argc; ++k) {
        if (k > from && n + 1 < cap) {
            out[n++] = ' ';
        }
        for (const char* p = args->argv[k]; *p && n + 1 < cap; ++p) {
            out[n++] = *p;
        }
    }
    out[n] = '\0';
    return n;
}

bool EqualsNocase(const char* a, const char* b) {
    if (!a || !b) {
        return false;
    }
    for (; *a && *b; ++a, ++b) {
        if (lower(*a) != lower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

size_t FormatChat(const char* name, const char* text, char* out, size_t cap) {
    return put(out, cap, "%s^7: ^2%s", name ? name : "", text ? text : "");
}

size_t FormatEntered(const char* name, char* out, size_t cap) {
    return put(out, cap, "%s^7 entered the game", name ? name : "");
}

size_t FormatNameQuery(const char* name, char* out, size_t cap) {
    return put(out, cap, "\"name\" is:\"%s^7\" default:\"%s^7\"", name ? name : "", kDefaultName);
}

bool RenamePlayer(char* name, size_t nameCap, const char* newName, size_t newLen, char* out, size_t cap) {
    if (!name || nameCap == 0 || !newName || newLen == 0) {
        return false;
    }
    char fresh[kMaxName + 1];
    size_t n = newLen;
    if (n > kMaxName) {
        n = kMaxName;
    }
    if (n > nameCap - 1) {
        n = nameCap - 1;
    }
    std::memcpy(fresh, newName, n);
    fresh[n] = '\0';
    if (fresh[0] == '\0' || std::strcmp(fresh, name) == 0) {
        return false;
    }
    put(out, cap, "%s^7 renamed to %s", name, fresh);
    std::memcpy(name, fresh, n + 1);
    return true;
}

Action RunCommand(const char* cmd, size_t len, char* name, size_t nameCap, char* out, size_t cap) {
    if (out && cap > 0) {
        out[0] = '\0';
    }
    Args args;
    tokenize(cmd, len, &args);
    if (args.argc == 0) {
        return Action::None;
    }
    const char* word = args.argv[0];
    char text[sizeof(args.storage)];
    if (EqualsNocase(word, "say")) {
        if (args.argc < 2) {
            return Action::None; // the game ignores an empty say
        }
        JoinArgs(&args, 1, text, kMaxSay + 1);
        FormatChat(name, text, out, cap);
        return Action::Print;
    }
    if (EqualsNocase(word, "echo")) {
        JoinArgs(&args, 1, out, cap);
        return Action::Print;
    }
    if (EqualsNocase(word, "name")) {
        if (args.argc == 1) {
            FormatNameQuery(name, out, cap);
            return Action::Print;
        }
        return RenamePlayer(name, nameCap, args.argv[1], std::strlen(args.argv[1]), out, cap) ? Action::Print
                                                                                              : Action::None;
    }
    if (EqualsNocase(word, "quit")) {
        return Action::Quit;
    }
    return Action::None;
}

Gathered GatherTyped(TypedFrame* frame, const char* line, size_t len, size_t* kept) {
    Gathered result = len > kMaxField ? Gathered::FieldOverflow : Gathered::Kept;
    size_t n = 0;
    if (!line) {
        len = 0;
    }
    if (frame) {
        size_t used = frame->len < kFrameText ? frame->len : kFrameText;
        if (used + 5 <= kFrameText) {
            n = len < kFrameText - used - 5 ? len : kFrameText - used - 5;
        } else {
            // The game's room sum wraps below zero and it copies the whole line, then a LF and a NUL;
            // past the buffer, only what really fits is kept.
            size_t room = used + 2 <= kFrameText ? kFrameText - used - 2 : 0;
            n = len;
            if (used + len + 2 > kFrameText) {
                n = room;
                result = Gathered::BufferOverflow;
            }
        }
        if (n > 0) {
            std::memcpy(frame->text + used, line, n);
        }
        if (used + n < kFrameText) {
            frame->text[used + n] = '\n';
            frame->len = used + n + 1;
        }
    }
    if (kept) {
        *kept = n;
    }
    return result;
}

size_t LineCommands(const TypedFrame* frame, size_t start, size_t end, bool first, Span* out, size_t cap) {
    if (!frame || !out) {
        return 0;
    }
    if (end > frame->len) {
        end = frame->len;
    }
    size_t count = 0;
    size_t pos = start + (first && start < end ? CommandSlash(frame->text + start, end - start) : 0);
    while (pos < end && count < cap) {
        Span cmd;
        pos = NextCommand(frame->text, end, pos, &cmd);
        if (cmd.len > 0) {
            out[count++] = cmd;
        }
    }
    return count;
}

size_t TranscriptText(const char* line, size_t len, char* out, size_t cap) {
    if (!out || cap == 0) {
        return 0;
    }
    size_t n = 0;
    for (size_t i = 0; line && i < len && n + 1 < cap; ++i) {
        char c = line[i];
        out[n++] = (c == '\r' || c == '\n') ? ' ' : c;
    }
    out[n] = '\0';
    return n;
}

ScriptParse ParseScriptLine(const char* line, size_t len, ScriptLine* out) {
    if (!out) {
        return ScriptParse::Error;
    }
    out->delayMs = 0;
    out->kind = ScriptKind::Message;
    out->text.start = 0;
    out->text.len = 0;
    out->error = nullptr;
    if (!line) {
        return ScriptParse::Skip;
    }
    while (len > 0 && line[len - 1] == '\r') {
        --len;
    }
    size_t i = 0;
    while (i < len && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    if (i == len || line[i] == '#') {
        return ScriptParse::Skip;
    }
    if (line[i] < '0' || line[i] > '9') {
        out->error = "expected a delay in milliseconds";
        return ScriptParse::Error;
    }
    unsigned long delay = 0;
    for (; i < len && line[i] >= '0' && line[i] <= '9'; ++i) {
        delay = delay * 10 + static_cast<unsigned long>(line[i] - '0');
        if (delay > kMaxScriptDelay) {
            out->error = "delay longer than a day";
            return ScriptParse::Error;
        }
    }
    out->delayMs = delay;
    if (i < len) {
        if (line[i] != ' ' && line[i] != '\t') {
            out->error = "expected a space after the delay";
            return ScriptParse::Error;
        }
        ++i;
    }
    out->text.start = i;
    out->text.len = len - i;
    if (i >= len || line[i] != '@') {
        return ScriptParse::Event;
    }
    if (i + 1 < len && line[i + 1] == '@') {
        // "@@text" prints "@text"
        out->text.start = i + 1;
        out->text.len = len - i - 1;
        return ScriptParse::Event;
    }
    size_t word = i + 1;
    size_t wordEnd = word;
    while (wordEnd < len && line[wordEnd] != ' ' && line[wordEnd] != '\t') {
        ++wordEnd;
    }
    size_t arg = wordEnd;
    if (arg < len) {
        ++arg; // one separator; the rest belongs to the argument
    }
    size_t argEnd = len;
    out->text.start = arg;
    out->text.len = argEnd - arg;
    size_t trimmedStart = arg;
    size_t trimmedEnd = argEnd;
    while (trimmedStart < trimmedEnd && (line[trimmedStart] == ' ' || line[trimmedStart] == '\t')) {
        ++trimmedStart;
    }
    while (trimmedEnd > trimmedStart && (line[trimmedEnd - 1] == ' ' || line[trimmedEnd - 1] == '\t')) {
        --trimmedEnd;
    }
    const char* w = line + word;
    size_t wlen = wordEnd - word;
    if (SpanIs(w, wlen, "enter") || SpanIs(w, wlen, "clear") || SpanIs(w, wlen, "close")) {
        if (trimmedEnd > trimmedStart) {
            out->error = "this directive takes no argument";
            return ScriptParse::Error;
        }
        out->kind = SpanIs(w, wlen, "enter")   ? ScriptKind::Enter
                    : SpanIs(w, wlen, "clear") ? ScriptKind::Clear
                                               : ScriptKind::Close;
        out->text.len = 0;
        return ScriptParse::Event;
    }
    if (SpanIs(w, wlen, "say")) {
        out->kind = ScriptKind::Say;
        return ScriptParse::Event;
    }
    if (SpanIs(w, wlen, "rename")) {
        if (trimmedEnd == trimmedStart) {
            out->error = "@rename needs the new name";
            return ScriptParse::Error;
        }
        if (trimmedEnd - trimmedStart > kMaxName) {
            out->error = "@rename name longer than 63 characters";
            return ScriptParse::Error;
        }
        out->kind = ScriptKind::Rename;
        out->text.start = trimmedStart;
        out->text.len = trimmedEnd - trimmedStart;
        return ScriptParse::Event;
    }
    out->error = "unknown directive (write @@ to print a line starting with @)";
    return ScriptParse::Error;
}

bool ParseScript(const char* data, size_t size, std::vector<ScriptEvent>* events, size_t* badLine,
                 const char** error) {
    unsigned long long due = 0;
    size_t lineNo = 0;
    for (size_t pos = 0; pos < size;) {
        size_t end = pos;
        while (end < size && data[end] != '\n')
            ++end;
        ++lineNo;
        ScriptLine parsed;
        ScriptParse result = ParseScriptLine(data + pos, end - pos, &parsed);
        if (result == ScriptParse::Error) {
            *badLine = lineNo;
            *error = parsed.error;
            return false;
        }
        if (result == ScriptParse::Event) {
            due += parsed.delayMs;
            events->push_back(
                ScriptEvent{due, parsed.kind, std::string(data + pos + parsed.text.start, parsed.text.len)});
        }
        pos = end + 1;
    }
    return true;
}

} // namespace qxsim
