#include "players/winamp_ipc.h"

#include <cstring>

#include "players/player_windows.h"
#include "players/players.h"
#include "support/string_helpers.h"

namespace {

// Query information, memory read.
constexpr std::uint32_t kTitleAccess = 0x410;
// A read that crosses into a page the player never mapped fails as a whole, so reads stop at page ends.
constexpr RemoteAddress kPageSize = 0x1000;

char ipcTitle[kIpcTitleSize + 1];

std::intptr_t Ask(WindowHandle player, std::uintptr_t wParam, std::intptr_t code) {
    return DeskSendMessage(player, kWmUser, wParam, code);
}

struct TitleReader {
    WindowHandle player;
    ProcessHandle process;
    bool player32; // its answers carry a 32-bit address in their low half
};

// Opens the player's process when it answers the interface and its addresses reach this program whole.
bool OpenTitles(TitleReader& reader, WindowHandle player) {
    reader.player = player;
    reader.process = 0;
    if (Ask(player, 0, kIpcGetVersion) == 0)
        return false;
    reader.process = DeskOpenProcess(kTitleAccess, DeskGetWindowProcessId(player));
    if (!reader.process)
        return false;
    // A width that cannot be told may be 64 bits: its addresses may arrive cut, as a 64-bit player's
    // reach a 32-bit companion, and an address cut in half may name other memory of the player.
    ProcessWidth width = DeskProcessWidth(reader.process);
    if (width == ProcessWidth::Unknown || (width == ProcessWidth::Bits64 && !DeskIsSelf64Bit())) {
        DeskCloseProcess(reader.process);
        reader.process = 0;
        return false;
    }
    reader.player32 = width == ProcessWidth::Bits32;
    return true;
}

// Up to the terminator or kIpcTitleSize bytes, into out (kIpcTitleSize + 1 bytes, always terminated).
// False when not even the first byte could be read.
bool ReadTitle(ProcessHandle process, RemoteAddress address, char* out) {
    std::size_t got = 0;
    while (got < kIpcTitleSize) {
        RemoteAddress at = address + got;
        std::size_t chunk = static_cast<std::size_t>(kPageSize - at % kPageSize);
        if (chunk > kIpcTitleSize - got)
            chunk = kIpcTitleSize - got;
        if (!DeskRemoteRead(process, at, out + got, chunk))
            break;
        bool ended = std::memchr(out + got, '\0', chunk) != nullptr;
        got += chunk;
        if (ended)
            break;
    }
    out[got] = '\0';
    return got > 0;
}

bool EntryTitle(const TitleReader& reader, std::int32_t entry, char* out) {
    std::intptr_t answer = Ask(reader.player, static_cast<std::uintptr_t>(entry), kIpcGetPlaylistTitle);
    RemoteAddress address = reader.player32 ? static_cast<std::uint32_t>(answer)
                                            : static_cast<RemoteAddress>(static_cast<std::uintptr_t>(answer));
    return ReadTitle(reader.process, address, out);
}

} // namespace

const char* WinampIpcNowPlaying(WindowHandle player) {
    ipcTitle[0] = '\0';
    TitleReader reader;
    if (!OpenTitles(reader, player))
        return ipcTitle;
    EntryTitle(reader, static_cast<std::int32_t>(Ask(player, 0, kIpcGetListPos)), ipcTitle);
    DeskCloseProcess(reader.process);
    return ipcTitle;
}

bool WinampIpcPlayFirstMatch(WindowHandle player, const char* query) {
    TitleReader reader;
    if (!OpenTitles(reader, player))
        return false;
    std::int32_t count = static_cast<std::int32_t>(Ask(player, 0, kIpcGetListLength));
    std::int32_t found = -1;
    char title[kIpcTitleSize + 1];
    std::uint64_t start = DeskTickMs();
    for (std::int32_t entry = 0; entry < count && DeskTickMs() - start < kIpcScanMs; ++entry) {
        if (EntryTitle(reader, entry, title)) {
            if (FindNoCase(title, query ? query : "") >= 0) {
                found = entry;
                break;
            }
        } else if (!DeskIsWindow(player)) {
            break;
        }
    }
    DeskCloseProcess(reader.process);
    if (found < 0)
        return false;
    Ask(player, static_cast<std::uintptr_t>(found), kIpcSetPlaylistPos);
    SendPlayerCommand(player, kWinampPlay);
    return true;
}

const char* WinampCurrentSong(WindowHandle player) {
    bool shaped = false;
    const char* song = WinampNowPlaying(player, &shaped);
    if (shaped)
        return song;
    // A player that does not answer the interface keeps what its title gave.
    const char* asked = WinampIpcNowPlaying(player);
    return asked[0] != '\0' ? asked : song;
}

const char* WinampFindAndPlay(WindowHandle player, const char* query) {
    if (!WinampJumpDialog(player, query))
        WinampIpcPlayFirstMatch(player, query);
    DeskSleep(kWinampSettleMs);
    return WinampCurrentSong(player);
}
