#include "client_text.h"

#include <cstdio>
#include <cstring>

#include "../console/console_text.h"

namespace qxsim {

namespace {

constexpr size_t kHistoryLines = 32;
constexpr unsigned long kMaxLogDelayMs = 600000;
constexpr size_t kMaxClientName = 64;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool ParseMs(const std::string& text, unsigned long* out) {
    if (text.empty() || text.size() > 7) {
        return false;
    }
    unsigned long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    if (v > kMaxLogDelayMs) {
        return false;
    }
    *out = v;
    return true;
}

std::string Join(const std::vector<std::string>& words, size_t from) {
    std::string s;
    for (size_t k = from; k < words.size(); ++k) {
        if (k > from) {
            s += ' ';
        }
        s += words[k];
    }
    return s;
}

void Recall(EditLine* edit, size_t index) {
    edit->recall = index;
    edit->text = index < edit->history.size() ? edit->history[index] : std::u16string();
    edit->cursor = edit->text.size();
    edit->overflow = 0;
}

void MoveCursor(EditLine* edit, CursorKey key) {
    switch (key) {
    case CursorKey::End: edit->cursor = edit->text.size(); break;
    case CursorKey::Home: edit->cursor = 0; break;
    case CursorKey::Left:
        if (edit->cursor > 0) {
            --edit->cursor;
        }
        break;
    case CursorKey::Right:
        if (edit->cursor < edit->text.size()) {
            ++edit->cursor;
        }
        break;
    case CursorKey::Up:
        if (edit->recall > 0) {
            Recall(edit, edit->recall - 1);
        }
        break;
    case CursorKey::Down:
        if (edit->recall < edit->history.size()) {
            Recall(edit, edit->recall + 1);
        }
        break;
    case CursorKey::None: break;
    }
}

} // namespace

CursorKey CursorKeyOf(unsigned short vk) {
    switch (vk) {
    case 0x23: return CursorKey::End;
    case 0x24: return CursorKey::Home;
    case 0x25: return CursorKey::Left;
    case 0x26: return CursorKey::Up;
    case 0x27: return CursorKey::Right;
    case 0x28: return CursorKey::Down;
    default: return CursorKey::None;
    }
}

const char* CursorKeyName(CursorKey key) {
    switch (key) {
    case CursorKey::End: return "end";
    case CursorKey::Home: return "home";
    case CursorKey::Left: return "left";
    case CursorKey::Up: return "up";
    case CursorKey::Right: return "right";
    case CursorKey::Down: return "down";
    case CursorKey::None: break;
    }
    return "none";
}

FrameInput FeedEvents(EditLine* edit, const KeyEvent* events, size_t count) {
    FrameInput frame;
    if (!edit || !events) {
        return frame;
    }
    for (size_t i = 0; i < count; ++i) {
        const KeyEvent& e = events[i];
        if (!e.isKey || !e.down) {
            continue;
        }
        if (e.vk == 0x0D) {
            frame.entered = true;
            frame.line = edit->text;
            frame.length = edit->text.size() + edit->overflow;
            frame.afterEnter = count - i - 1;
            if (!edit->text.empty()) {
                if (edit->history.size() == kHistoryLines) {
                    edit->history.erase(edit->history.begin());
                }
                edit->history.push_back(edit->text);
            }
            Recall(edit, edit->history.size());
            return frame;
        }
        CursorKey key = CursorKeyOf(e.vk);
        if (key != CursorKey::None) {
            frame.cursorKeys.push_back(key);
            MoveCursor(edit, key);
            continue;
        }
        if (e.vk == 0x08 || e.ch == 8) {
            if (edit->overflow > 0) {
                --edit->overflow;
            } else if (edit->cursor > 0) {
                edit->text.erase(--edit->cursor, 1);
            }
            continue;
        }
        if (e.ch < 32) {
            continue;
        }
        if (edit->text.size() >= kEditCapacity) {
            ++edit->overflow;
            continue;
        }
        edit->text.insert(edit->cursor++, 1, e.ch);
    }
    return frame;
}

bool ParseClientArgs(const std::vector<std::string>& args, ClientOptions* out, std::string* error) {
    ClientOptions o;
    auto fail = [error](const std::string& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    size_t i = 0;
    for (; i < args.size() && !StartsWith(args[i], "+"); ++i) {
        const std::string& opt = args[i];
        bool* flag = opt == "--reads-console"           ? &o.readsConsole
                     : opt == "--timestamps"            ? &o.timestamps
                     : opt == "--stamp-quirks"          ? &o.stampQuirks
                     : opt == "--exit-at-once"          ? &o.exitAtOnce
                     : opt == "--crash-at-start"        ? &o.crashAtStart
                     : opt == "--long-line"             ? &o.longLine
                     : opt == "--no-line-ends"          ? &o.noLineEnds
                     : opt == "--non-ascii"             ? &o.nonAscii
                     : (opt == "--help" || opt == "-h") ? &o.help
                                                        : nullptr;
        if (flag) {
            *flag = true;
            continue;
        }
        static const char* const valued[] = {"--client", "--player", "--script", "--transcript",
                                             "--log-delay"};
        bool known = false;
        for (const char* v : valued) {
            known = known || opt == v;
        }
        if (!known) {
            return fail(StartsWith(opt, "-") ? "unknown option " + opt
                                             : "'" + opt + "' is neither an option nor a +command");
        }
        if (i + 1 >= args.size()) {
            return fail(opt + " needs a value");
        }
        const std::string& value = args[++i];
        if (opt == "--client") {
            if (value.empty() || value.size() > kMaxClientName ||
                value.find_first_of("\\/:") != std::string::npos) {
                return fail("--client needs a folder name of 1 to 64 characters");
            }
            o.client = value;
        } else if (opt == "--player") {
            if (value.empty() || value.size() > kMaxName) {
                return fail("--player needs a name of 1 to 63 characters");
            }
            o.player = value;
        } else if (opt == "--script") {
            o.script = value;
        } else if (opt == "--transcript") {
            o.transcript = value;
        } else if (!ParseMs(value, &o.logDelayMs)) {
            return fail("--log-delay needs milliseconds from 0 to 600000");
        }
    }
    for (; i < args.size(); ++i) {
        if (StartsWith(args[i], "+")) {
            o.commands.push_back({args[i].substr(1)});
        } else {
            o.commands.back().push_back(args[i]);
        }
    }
    o.timestamps = o.timestamps || o.stampQuirks;
    *out = o;
    return true;
}

std::vector<std::vector<std::string>> ApplySets(const std::vector<std::vector<std::string>>& commands,
                                                GameSettings* settings) {
    std::vector<std::vector<std::string>> rest;
    for (const auto& words : commands) {
        if (words.empty() || words[0].empty()) {
            continue;
        }
        if (!EqualsNocase(words[0].c_str(), "set") && !EqualsNocase(words[0].c_str(), "seta")) {
            rest.push_back(words);
            continue;
        }
        if (words.size() < 2 || !settings) {
            continue;
        }
        const char* var = words[1].c_str();
        std::string value = Join(words, 2);
        if (EqualsNocase(var, "fs_homepath")) {
            settings->homepath = value;
        } else if (EqualsNocase(var, "fs_game")) {
            settings->game = value;
        } else if (EqualsNocase(var, "name")) {
            settings->name = value.substr(0, kMaxName);
        } else if (EqualsNocase(var, "logfile")) {
            int n = 0;
            for (size_t k = 0; k < value.size() && value[k] >= '0' && value[k] <= '9' && n < 100; ++k) {
                n = n * 10 + (value[k] - '0');
            }
            settings->logfile = n;
        }
    }
    return rest;
}

std::string CommandText(const std::vector<std::string>& words) {
    std::string s;
    for (size_t k = 0; k < words.size(); ++k) {
        if (k > 0) {
            s += ' ';
        }
        const std::string& w = words[k];
        bool quote = k > 0 && (w.empty() || w.find_first_of(" \t;") != std::string::npos);
        s += quote ? "\"" + w + "\"" : w;
    }
    return s;
}

std::string LogFolder(const std::string& documents, const std::string& client, const GameSettings& settings) {
    std::string home = settings.homepath;
    if (home.empty()) {
        home = documents;
        if (!home.empty() && home.back() != '\\') {
            home += '\\';
        }
        home += "My Games\\" + client;
    }
    while (home.size() > 1 && (home.back() == '\\' || home.back() == '/')) {
        home.pop_back();
    }
    return home + "\\" + (settings.game.empty() ? std::string("base") : settings.game);
}

int StampsBefore(size_t index, bool timestamps, bool quirks) {
    if (!timestamps) {
        return 0;
    }
    if (quirks && index == 0) {
        return 0;
    }
    return quirks && index == 1 ? 2 : 1;
}

std::string FormatStamp(int year, int month, int day, int hour, int minute, int second) {
    char buf[48];
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d ", year, month, day, hour, minute, second);
    return buf;
}

std::string StripColours(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsColourCode(text.data() + i, text.size() - i)) {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace qxsim
