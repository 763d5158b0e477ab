#include "client_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../console/console_text.h"

namespace qxsim {

namespace {

constexpr unsigned long kMaxLogDelayMs = 600000;
constexpr size_t kMaxClientName = 64;
// JACoders/OpenJK shared/sys/sys_main.cpp:746 (commandLine[MAX_STRING_CHARS], 1024 with its NUL)
constexpr size_t kMaxCommandLine = 1023;
// JACoders/OpenJK codemp/qcommon/common.cpp:371 (MAX_CONSOLE_LINES)
constexpr size_t kMaxConsoleLines = 32;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool Same(const std::string& a, const char* b) {
    return EqualsNocase(a.c_str(), b);
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

// A cvar's integer is atoi of its text.
int IntegerOf(const std::string& value) {
    return std::atoi(value.c_str());
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

// JKSunny/EternalJK shared/sys/con_win32.cpp:111-124 (CON_HistAdd)
void HistoryAdd(EditLine* edit) {
    edit->history[edit->historyOldest] = edit->text;
    if (edit->historyLines < kHistorySlots) {
        ++edit->historyLines;
    }
    edit->historyOldest = edit->historyOldest >= kHistorySlots - 1 ? 0 : edit->historyOldest + 1;
    edit->historyPos = edit->historyOldest;
}

void HistoryShow(EditLine* edit, int pos) {
    edit->historyPos = pos;
    edit->text = edit->history[pos];
    edit->cursor = edit->text.size();
    edit->overflow = 0;
}

// JKSunny/EternalJK shared/sys/con_win32.cpp:132-177 (CON_HistPrev, CON_HistNext): no looping round.
void HistoryPrev(EditLine* edit) {
    int pos = edit->historyPos < 1 ? kHistorySlots - 1 : edit->historyPos - 1;
    if (pos == edit->historyOldest || pos >= edit->historyLines) {
        return;
    }
    HistoryShow(edit, pos);
}

void HistoryNext(EditLine* edit) {
    if (edit->historyPos == edit->historyOldest) {
        return;
    }
    int pos = edit->historyPos >= kHistorySlots - 1 ? 0 : edit->historyPos + 1;
    if (pos == edit->historyOldest) {
        edit->historyPos = pos;
        edit->text.clear();
        edit->cursor = 0;
        edit->overflow = 0;
        return;
    }
    HistoryShow(edit, pos);
}

// JKSunny/EternalJK shared/sys/con_win32.cpp:437-485
void EditKey(EditLine* edit, CursorKey key) {
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
    case CursorKey::Up: HistoryPrev(edit); break;
    case CursorKey::Down: HistoryNext(edit); break;
    case CursorKey::Tab: // completion of command and cvar names is not modelled
    case CursorKey::None: break;
    }
}

// JACoders/OpenJK codemp/qcommon/files.cpp:3050-3069 (FS_AddGameDirectory): a folder already on the search
// path, compared case-insensitively, is not added again and leaves fs_gamedir as it was.
struct GameDirs {
    std::vector<std::string> added{"base"};
    std::string current = "base";

    void Add(const std::string& dir) {
        if (dir.empty() || Same(dir, "base")) {
            return;
        }
        for (const std::string& d : added) {
            if (Same(d, dir.c_str())) {
                return;
            }
        }
        added.push_back(dir);
        current = dir;
    }
};

std::string JoinPath(std::string folder, const std::string& name) {
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }
    return folder + "\\" + name;
}

// JACoders/OpenJK shared/sys/sys_win32.cpp:158-183, JKSunny/EternalJK shared/sys/sys_win32.cpp:189-206
// (Sys_DefaultHomePath): <Documents>\My Games\<com_homepath, else the client's own name>; nothing when the
// Documents folder is unknown, and the client then uses fs_basepath.
std::string MyGames(const std::string& documents, const std::string& name, const std::string& basepath) {
    if (documents.empty()) {
        return basepath;
    }
    return JoinPath(JoinPath(documents, "My Games"), name);
}

} // namespace

ClientKind KindOfExe(const std::string& exeFileName) {
    // JACoders/OpenJK CMakeLists.txt:169 (MPEngine "openjk.${Architecture}"), JKSunny/EternalJK
    // CMakeLists.txt:154 (MPEngine "eternaljk.${Architecture}"): openjk.x86.exe, eternaljk.x86_64.exe...
    auto startsNocase = [&exeFileName](const char* prefix) {
        size_t n = std::strlen(prefix);
        return exeFileName.size() > n && Same(exeFileName.substr(0, n), prefix);
    };
    if (startsNocase("openjk.")) {
        return ClientKind::Successor;
    }
    if (startsNocase("eternaljk.")) {
        return ClientKind::Fork;
    }
    return ClientKind::Unknown;
}

std::string ProductName(ClientKind kind, const std::string& fallback) {
    // JACoders/OpenJK codemp/qcommon/q_shared.h:30, JKSunny/EternalJK codemp/qcommon/q_shared.h:30
    switch (kind) {
    case ClientKind::Successor: return "openjk";
    case ClientKind::Fork: return "eternaljk";
    case ClientKind::Unknown: break;
    }
    return fallback;
}

std::vector<std::string> NameAnswerLines(ClientKind kind, const std::string& value,
                                         const std::string& reset) {
    // JACoders/OpenJK codemp/qcommon/cvar.cpp:576-594, JKSunny/EternalJK codemp/qcommon/cvar.cpp:591-610
    // (Cvar_Print): the value as it is, then whether it is the reset value (Q_stricmp, case-insensitive).
    std::string first = "^9Cvar ^7name = ^9\"^7" + value + "^9\"^7";
    if (Same(value, reset.c_str())) {
        first += ", ^7the default";
    } else {
        first += ", ^7default = ^9\"^7" + reset + "^9\"^7";
    }
    // The description "Player name": JACoders/OpenJK codemp/client/cl_main.cpp:2839, JKSunny/EternalJK
    // codemp/client/cl_main.cpp:3324. The fork prints it green with a trailing blank (cvar.cpp:606-609); its
    // interface module has no help text for "name" (codemp/ui/ui_xdocs.h), so the engine's is used.
    if (kind == ClientKind::Fork) {
        return {first, "^2Player name ^7 "};
    }
    return {first, "Player name"};
}

std::string TypedEcho(const std::string& line) {
    // JKSunny/EternalJK shared/sys/con_win32.cpp:551 (Com_Printf( "%s\n", qconsole_line )): no prompt.
    return line;
}

CursorKey CursorKeyOf(unsigned short vk) {
    switch (vk) {
    case 0x09: return CursorKey::Tab;
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
    case CursorKey::Tab: return "tab";
    case CursorKey::None: break;
    }
    return "none";
}

FrameInput FeedEvents(EditLine* edit, const KeyEvent* events, size_t count) {
    // JKSunny/EternalJK shared/sys/con_win32.cpp:425-554 (CON_Input)
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
            frame.afterStop = count - i - 1;
            break;
        }
        CursorKey key = CursorKeyOf(e.vk);
        if (key != CursorKey::None) {
            // Every handled key breaks out of the loop, not only Enter (con_win32.cpp:492-495).
            frame.key = key;
            frame.afterStop = count - i - 1;
            EditKey(edit, key);
            return frame;
        }
        if (edit->text.size() >= kEditCapacity) {
            if (e.vk != 0x08 && e.ch != 0) {
                ++edit->overflow;
            }
            continue;
        }
        if (e.vk == 0x08) {
            if (edit->cursor > 0) {
                edit->text.erase(--edit->cursor, 1);
            }
        } else if (e.ch != 0) {
            edit->text.insert(edit->cursor++, 1, e.ch);
        }
    }
    if (!frame.entered) {
        return frame;
    }
    frame.line = edit->text;
    frame.length = edit->text.size() + edit->overflow;
    if (!edit->text.empty()) {
        HistoryAdd(edit);
    }
    edit->text.clear();
    edit->cursor = 0;
    edit->overflow = 0;
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
    // JACoders/OpenJK shared/sys/sys_main.cpp:763-776 (main): every argument, quoted when it holds a blank,
    // then a blank; Q_strcat cuts what does not fit.
    for (; i < args.size(); ++i) {
        bool quote = args[i].find(' ') != std::string::npos;
        o.gameText += quote ? "\"" + args[i] + "\" " : args[i] + " ";
    }
    if (o.gameText.size() > kMaxCommandLine) {
        o.gameText.resize(kMaxCommandLine);
    }
    o.timestamps = o.timestamps || o.stampQuirks;
    *out = o;
    return true;
}

std::vector<std::string> ConsoleLines(const std::string& gameText) {
    // JACoders/OpenJK codemp/qcommon/common.cpp:382-403 (Com_ParseCommandLine): at most 32 lines, the last
    // one keeping whatever is left.
    std::vector<std::string> lines(1);
    bool quoted = false;
    for (char c : gameText) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (((c == '+' && !quoted) || c == '\n' || c == '\r') && lines.size() < kMaxConsoleLines) {
            lines.emplace_back();
            continue;
        }
        lines.back() += c;
    }
    return lines;
}

std::vector<std::string> CommandWords(const std::string& line) {
    // JACoders/OpenJK codemp/qcommon/cmd.cpp:515-614 (Cmd_TokenizeString2): blanks and control characters
    // separate words, "//" ends the line, "/* */" is skipped, a quoted word runs to the next quote.
    std::vector<std::string> words;
    const size_t n = line.size();
    size_t at = 0;
    auto blank = [&line](size_t k) { return static_cast<unsigned char>(line[k]) <= ' '; };
    auto opens = [&line, n](size_t k, char second) {
        return k + 1 < n && line[k] == '/' && line[k + 1] == second;
    };
    while (true) {
        while (true) {
            while (at < n && blank(at)) {
                ++at;
            }
            if (at >= n || opens(at, '/')) {
                return words;
            }
            if (!opens(at, '*')) {
                break;
            }
            size_t close = line.find("*/", at);
            if (close == std::string::npos) {
                return words;
            }
            at = close + 2;
        }
        if (line[at] == '"') {
            size_t close = line.find('"', at + 1);
            words.push_back(
                line.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1));
            if (close == std::string::npos) {
                return words;
            }
            at = close + 1;
            continue;
        }
        size_t start = at;
        while (at < n && !blank(at) && line[at] != '"' && !opens(at, '/') && !opens(at, '*')) {
            ++at;
        }
        words.push_back(line.substr(start, at - start));
        if (at >= n) {
            return words;
        }
    }
}

std::vector<std::string> ApplySets(const std::vector<std::string>& lines, GameSettings* settings) {
    // JACoders/OpenJK codemp/qcommon/common.cpp:440-452 (Com_StartupVariable): only an exact "set" (strcmp);
    // the value is Cmd_ArgsFrom(2). It runs before the file system starts (common.cpp:1181), so every set
    // variable is in place when FS_Startup reads it; names match case-insensitively (cvar.cpp:101-113).
    std::vector<std::string> rest;
    for (const std::string& line : lines) {
        std::vector<std::string> words = CommandWords(line);
        if (words.empty()) {
            continue;
        }
        if (words[0] != "set") {
            // common.cpp:466-485 (Com_AddStartupCommands): run as typed once the configuration is read.
            rest.push_back(line);
            continue;
        }
        if (words.size() < 2 || !settings) {
            continue;
        }
        const std::string& var = words[1];
        std::string value = Join(words, 2);
        if (Same(var, "fs_homepath")) {
            settings->homepath = value;
        } else if (Same(var, "fs_game")) {
            settings->game = value;
        } else if (Same(var, "name")) {
            settings->name = value.substr(0, kMaxName);
        } else if (Same(var, "logfile")) {
            settings->logfile = IntegerOf(value);
        } else if (Same(var, "fs_basepath")) {
            settings->basepath = value;
        } else if (Same(var, "fs_portable")) {
            settings->portable = IntegerOf(value);
        } else if (Same(var, "com_homepath")) {
            settings->comHomepath = value;
        } else if (Same(var, "fs_forcegame")) {
            settings->forcegame = value;
        } else if (Same(var, "fs_basegame")) {
            settings->basegame = value;
        } else if (Same(var, "fs_globalcfg")) {
            settings->globalcfg = IntegerOf(value);
        }
    }
    return rest;
}

std::string InstallFolder(const std::string& argv0) {
    // JKSunny/EternalJK shared/sys/sys_win32.cpp:79-93 (Sys_Dirname) looks for '\' only, and stops at the
    // first character; sys_main.cpp:79-86 (Sys_DefaultInstallPath) falls back to the current folder.
    size_t cut = argv0.rfind('\\');
    return cut == std::string::npos || cut == 0 ? std::string() : argv0.substr(0, cut);
}

bool RunsWriteTest(ClientKind kind, const GameSettings& settings) {
    // JKSunny/EternalJK shared/sys/sys_win32.cpp:172-187: with fs_portable on but not 2. FS_Startup calls
    // Sys_DefaultHomePath before it reads fs_homepath (files.cpp:3652-3656), so a set fs_homepath does not
    // spare the test.
    return kind == ClientKind::Fork && settings.portable != 0 && settings.portable != 2;
}

std::string ClientLogFolder(ClientKind kind, const std::string& documents, const std::string& exeFolder,
                            bool exeFolderWritable, const std::string& clientName,
                            const GameSettings& settings) {
    // qconsole.log is <fs_homepath>\<fs_gamedir>: JACoders/OpenJK codemp/qcommon/files.cpp:1073
    // (FS_FOpenFileWrite). fs_basepath defaults to the install folder (files.cpp:3574).
    const std::string basepath = settings.basepath.empty() ? exeFolder : settings.basepath;
    std::string home = settings.homepath;
    GameDirs dirs;
    switch (kind) {
    case ClientKind::Successor:
        if (home.empty()) {
            // JACoders/OpenJK codemp/qcommon/q_shared.h:35 (HOMEPATH_NAME_WIN)
            home =
                MyGames(documents, settings.comHomepath.empty() ? "OpenJK" : settings.comHomepath, basepath);
        }
        // JACoders/OpenJK codemp/qcommon/files.cpp:3575, 3610-3650: base, then fs_basegame (default
        // empty), then fs_game; fs_forcegame overrides whatever that gave.
        dirs.Add(settings.basegame.value_or(""));
        dirs.Add(settings.game);
        if (!settings.forcegame.empty() && !Same(settings.forcegame, dirs.current.c_str())) {
            dirs.current = settings.forcegame;
        }
        break;
    case ClientKind::Fork: {
        if (home.empty()) {
            // JKSunny/EternalJK shared/sys/sys_win32.cpp:172-206: fs_portable 2, or a writable install
            // folder, leave the home to fs_basepath (files.cpp:3653-3655).
            bool portableHome = settings.portable != 0 && (settings.portable == 2 || exeFolderWritable);
            // JKSunny/EternalJK codemp/qcommon/q_shared.h:35 (HOMEPATH_NAME_WIN)
            home = portableHome
                       ? basepath
                       : MyGames(documents, settings.comHomepath.empty() ? "EternalJK" : settings.comHomepath,
                                 basepath);
        }
        // JKSunny/EternalJK codemp/qcommon/files.cpp:3650, 3660-3666, 3695-3724: fs_basegame defaults to
        // EternalJK (q_shared.h:39); with fs_globalcfg on, the mod folder is fs_basegame itself, so fs_game
        // is never read.
        const std::string basegame = settings.basegame.value_or("EternalJK");
        dirs.Add(basegame);
        dirs.Add(settings.globalcfg != 0 ? basegame : settings.game);
        break;
    }
    case ClientKind::Unknown:
        if (home.empty()) {
            home = MyGames(documents, clientName, basepath);
        }
        if (!settings.game.empty()) {
            dirs.current = settings.game;
        }
        break;
    }
    return JoinPath(home, dirs.current);
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
    // JACoders/OpenJK shared/qcommon/q_color.h:16-17 (Q_IsColorString): a caret and a digit 0-9.
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string StripColoursFully(const std::string& text) {
    // JACoders/OpenJK shared/qcommon/q_string.c:323-354 (Q_StripColor): passes until one removes nothing.
    std::string out = text;
    for (std::string next = StripColours(out); next != out; next = StripColours(out)) {
        out = next;
    }
    return out;
}

} // namespace qxsim
