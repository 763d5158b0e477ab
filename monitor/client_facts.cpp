#include <cstdlib>
#include <cstring>

#include "monitor/client_facts.h"
#include "support/string_helpers.h"

namespace {

// JACoders/OpenJK at 8cce3ea and JKSunny/EternalJK at 8acd8f3.
const ClientFamily kFamilies[] = {
    // The successor. q_shared.h:35 HOMEPATH_NAME_WIN "OpenJK"; codemp/CMakeLists.txt:545 builds the
    // Windows client with shared/sys/con_passive.cpp, whose CON_Input returns NULL; files.cpp:3575
    // fs_basegame "" and :3581 fs_game; sys_win32.cpp:158-183 has no portable mode.
    {"openjk", "OpenJK", ClientConsole::ReadsNothing, false, "", false},
    // The fork. q_shared.h:35 "EternalJK"; codemp/CMakeLists.txt:571 builds it with con_win32.cpp, whose
    // CON_Input (:399-554) reads the console; files.cpp:3650 fs_basegame ETERNALJKGAME (q_shared.h:39
    // "EternalJK"), :3651 fs_portable "1", :3660-3664 fs_globalcfg "1" puts fs_basegame in fs_game's place.
    {"eternaljk", "EternalJK", ClientConsole::ReadsConsole, true, "EternalJK", true},
};

const char kLogName[] = "qconsole.log";

// A text read from the command line against a name, folding only a to z.
bool SameNoCase(const std::string& a, const char* b) {
    return a.find('\0') == std::string::npos && ::SameNoCase(a.c_str(), b);
}

// The commands of an engine command line: split at every '+' outside double quotes and at line ends
// (Com_ParseCommandLine, OpenJK common.cpp:382-403), each split into words at blanks, a quoted word kept
// whole without its quotes.
std::vector<std::vector<std::string>> EngineCommands(const std::string& line) {
    std::vector<std::vector<std::string>> commands(1);
    std::string word;
    bool quoted = false, inWord = false;
    auto endWord = [&] {
        if (inWord)
            commands.back().push_back(word);
        word.clear();
        inWord = false;
    };
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((!quoted && c == '+') || c == '\n' || c == '\r') {
            endWord();
            commands.emplace_back();
        } else if (!quoted && (c == ' ' || c == '\t')) {
            endWord();
        } else {
            word += c;
            inWord = true;
        }
    }
    endWord();
    return commands;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '\\' || folder.back() == '/' ? folder + name : folder + "\\" + name;
}

// A folder named on the command line is taken from the client's working folder, the exe's.
std::string Absolute(const std::string& path, const std::string& folder) {
    return path.empty() || IsAbsolute(path) ? path : Join(folder, path);
}

std::string ValueOr(const std::string& arguments, const char* name, const char* fallback) {
    std::string value = StartupValue(arguments, name);
    return value.empty() ? fallback : value;
}

// Sys_DefaultHomePath (sys_win32.cpp, OpenJK :158-183, EternalJK :166-209): <Documents>\My Games\ and
// com_homepath, or the family's folder; without a Documents folder, fs_basepath (OpenJK files.cpp:3576-3578).
std::string MyGamesHome(const ClientFamily& family, const std::string& arguments, const std::string& documents,
                        const std::string& basePath) {
    if (documents.empty())
        return basePath;
    return Join(Join(documents, "My Games"), ValueOr(arguments, "com_homepath", family.homeName));
}

// The folder that qconsole.log is written in, below the home (FS_FOpenFileWrite, files.cpp:1073, writes
// to fs_homepath\fs_gamedir, and fs_gamedir is the last game directory FS_Startup added).
std::string GameFolder(const ClientFamily& family, const std::string& arguments) {
    std::string game = "base";
    std::string baseGame = ValueOr(arguments, "fs_basegame", family.baseGame);
    if (!baseGame.empty() && !SameNoCase(baseGame, "base"))
        game = baseGame;
    bool globalConfig = family.globalConfig && std::atoi(ValueOr(arguments, "fs_globalcfg", "1").c_str()) != 0;
    std::string mod = StartupValue(arguments, "fs_game");
    if (!globalConfig && !mod.empty() && !SameNoCase(mod, "base"))
        game = mod;
    // OpenJK files.cpp:3585 and :3640-3649: fs_forcegame overrides any fs_game. EternalJK has no such variable.
    std::string force = family.globalConfig ? std::string() : StartupValue(arguments, "fs_forcegame");
    return force.empty() ? game : force;
}

} // namespace

const ClientFamily* FindClientFamily(const std::string& exe) {
    std::size_t slash = exe.find_last_of("\\/");
    std::string name = exe.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    for (const ClientFamily& family : kFamilies)
        if (SameNoCase(name, family.exeName))
            return &family;
    return nullptr;
}

// Com_StartupVariable (OpenJK common.cpp:440-452, EternalJK :419-431): strcmp(Cmd_Argv(0), "set"), so
// "seta" and "SET" set nothing at start; the value is Cmd_ArgsFrom(2). Cvar names are found in any case
// (Cvar_FindVar, cvar.cpp:101-113).
std::string StartupValue(const std::string& arguments, const char* name) {
    std::string value;
    for (const std::vector<std::string>& words : EngineCommands(arguments)) {
        if (words.size() < 3 || words[0] != "set" || !SameNoCase(words[1], name))
            continue;
        value = words[2];
        for (std::size_t i = 3; i < words.size(); ++i)
            value += " " + words[i];
    }
    return value;
}

LogPlace FindLogPlace(const std::string& exe, const std::string& arguments, const std::string& documents) {
    LogPlace place;
    std::string folder = FolderOf(exe);
    std::string home = Absolute(StartupValue(arguments, "fs_homepath"), folder);
    const ClientFamily* family = FindClientFamily(exe);
    if (!family) {
        if (!home.empty()) {
            place.paths.push_back(Join(Join(home, ValueOr(arguments, "fs_game", "base")), kLogName));
            return place;
        }
        // The exe's own folder first: a large My Games cannot use up the search before it is looked at.
        place.roots.push_back(folder.empty() ? std::string(".") : folder);
        place.roots.push_back(Join(documents, "My Games"));
        return place;
    }
    // sys_main.cpp (OpenJK :735-761, EternalJK :685-714): the install path is the exe's folder, and
    // fs_basepath defaults to it (OpenJK files.cpp:3574, EternalJK :3649).
    std::string basePath = Absolute(ValueOr(arguments, "fs_basepath", folder.c_str()), folder);
    std::vector<std::string> homes;
    if (!home.empty())
        homes.push_back(home);
    else if (!family->portable)
        homes.push_back(MyGamesHome(*family, arguments, documents, basePath));
    else {
        // EternalJK sys_win32.cpp:172-188: fs_portable 2 takes fs_basepath; any other non-zero value takes
        // it only when the file "w" can be made in the install folder, else My Games. Either may be the
        // one written, so both are watched.
        int portable = std::atoi(ValueOr(arguments, "fs_portable", "1").c_str());
        if (portable != 0)
            homes.push_back(basePath);
        if (portable != 2)
            homes.push_back(MyGamesHome(*family, arguments, documents, basePath));
    }
    std::string game = GameFolder(*family, arguments);
    for (const std::string& at : homes)
        place.paths.push_back(Join(Join(at, game), kLogName));
    return place;
}

namespace {

bool StartsWith(const std::string& text, const char* start) {
    return text.compare(0, std::strlen(start), start) == 0;
}

bool EndsWith(const std::string& text, const char* end) {
    std::size_t n = std::strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

// The value between `open` and the last `close` before the line's own ending `end`.
bool ValueBetween(const std::string& line, const char* open, const char* close, const char* end,
                  std::string* value) {
    std::size_t from = std::strlen(open);
    if (!StartsWith(line, open) || !EndsWith(line, end) || line.size() < from + std::strlen(end))
        return false;
    std::size_t to = line.rfind(close, line.size() - std::strlen(end));
    if (to == std::string::npos || to < from)
        return false;
    *value = line.substr(from, to - from);
    return true;
}

} // namespace

bool NameInAnswer(const std::string& line, std::string* name) {
    std::string value;
    // The original game: "%s" is:"%s^7" default:"%s^7", its codes removed by its console; the
    // default part may be missing, the closing quote may not.
    bool found = ValueBetween(line, "\"name\" is:\"", "\" default:\"", "\"\r", &value) ||
                 ValueBetween(line, "\"name\" is:\"", "\"\r", "\"\r", &value);
    // Cvar_Print (OpenJK cvar.cpp:576-594, EternalJK cvar.cpp:591-610): ^9Cvar ^7name = ^9"^7<value>^9"^7,
    // then ", ^7the default" when the value is the reset string, else ", ^7default = ^9"^7<reset>^9"^7",
    // then a line end; a description line may follow. The reset is the engine's own "Padawan"
    // (cl_main.cpp, OpenJK :2839, EternalJK :3324), so the last such separator ends the value.
    if (!found && StartsWith(line, "Cvar name = \"")) {
        found = ValueBetween(line, "Cvar name = \"", "\", the default\r", "\", the default\r", &value) ||
                ValueBetween(line, "Cvar name = \"", "\", default = \"", "\"\r", &value);
    }
    if (found && name)
        *name = value;
    return found;
}
