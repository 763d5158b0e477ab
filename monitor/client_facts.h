// What the companion knows of today's game clients, each fact read in the client's own source: one row
// for each family, and the rules that find a client's qconsole.log from its exe and its command line.
#pragma once

#include <string>
#include <vector>

// Whether a client reads the console it is given, so that a typed line reaches it.
enum class ClientConsole { Unknown, ReadsConsole, ReadsNothing };

struct ClientFamily {
    const char* exeName;   // the release exe's file name up to its first dot
    const char* homeName;  // its folder in <Documents>\My Games (HOMEPATH_NAME_WIN)
    ClientConsole console; // the console code its Windows client is built with
    // fs_portable defaults to 1: the home is the install folder (the exe's) when a file can be made there.
    bool portable;
    const char* baseGame; // fs_basegame's default
    // fs_globalcfg defaults to 1: the game folder is then fs_basegame, whatever fs_game says.
    bool globalConfig;
};

// The family of a client exe (a path or a file name), or null for a client nobody knows.
const ClientFamily* FindClientFamily(const std::string& exe);

// Where a client's qconsole.log may be: the paths its rules allow (a portable client's two homes), or,
// for a client nobody knows, the newest qconsole.log under the roots.
struct LogPlace {
    std::vector<std::string> paths;
    std::vector<std::string> roots;
};
LogPlace FindLogPlace(const std::string& exe, const std::string& arguments, const std::string& documents);

// The value the command line gives a variable: only an exact "set" counts, the variable's name in any
// case; the last one wins. Empty when none.
std::string StartupValue(const std::string& arguments, const char* name);

// The player's name in an answer to the name query, as a console shows it (colour codes removed, a
// carriage return at the end), in either form: the original game's `"name" is:"<value>" default:"<reset>"`
// or today's clients' `Cvar name = "<value>", default = "<reset>"` and `Cvar name = "<value>", the
// default`. The value is taken whole, blanks, '=' and quotes included; a line cut short, or any other
// line, gives false.
bool NameInAnswer(const std::string& line, std::string* name);
