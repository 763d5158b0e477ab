// What the chat scenarios with one player stand-in share: the player started with its record, the
// console once the companion knows the player's name, and chat lines with their replies.
#pragma once

#include "tests/e2e/companion_world.h"

#include <string>
#include <vector>

namespace world {

// Starts a player stand-in with args and --record <record> in the workdir, and waits until it has
// recorded its first line.
e2e::Process StartRecordingPlayer(const char* program, const std::string& args, const char* record);

// Starts the console and waits until the companion has learnt the name Rex from it.
Console StartNamedConsole(const Companion& companion);

// Says a chat line and waits until the console has run at least one more line; returns the new ones.
std::vector<std::string> Ask(const Console& console, const std::string& text);

} // namespace world
