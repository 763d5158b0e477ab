#include "players/known_players.h"

#include <cstring>

#include "support/string_helpers.h"

// Each fact beside its row comes from the player's own published source; the file named is in the
// player's repository unless another is named.
const KnownPlayer kKnownPlayers[] = {
    // TIDAL Hi-Fi, a desktop app of the TIDAL music service (Mastermindzh/tidal-hifi).
    // Class: an Electron app's window is Chromium's "Chrome_WidgetWin_<n>" (Chromium
    //   ui/gfx/win/window_impl.cc, kBaseClassName), shared by every Chromium-based program.
    // Process: build/electron-builder.base.yml, win.executableName "tidalhifi".
    // Title: src/preload.ts, applyWindowTitle: "<title> - <artists>" while a song is known,
    //   staticTitle "TIDAL Hi-Fi" otherwise.
    {"TIDAL Hi-Fi", "Chrome_WidgetWin_*", "tidalhifi.exe", "", {"TIDAL Hi-Fi", nullptr}, {0, 0}},
    // foobar2000 with the Columns UI interface (reupen/columns_ui, foo_ui_columns).
    // Class: main_window.cpp, main_window_class_name "{E7076D1C-A7BF-4f39-B771-BCBE88F2A2A8}".
    // Title: main_window.cpp, update_titlebar: the main window title script while a track plays,
    //   "foobar2000" otherwise; config_vars.cpp, default_main_window_title_script
    //   "[%title% - ]foobar2000".
    {"foobar2000 (Columns UI)",
     "{E7076D1C-A7BF-4f39-B771-BCBE88F2A2A8}",
     nullptr,
     " - foobar2000",
     {"foobar2000", nullptr},
     {0, 0}},
    // VLC media player 3 (videolan/vlc).
    // Class: a Qt 5 top-level window with an icon, "Qt5QWindowIcon", or "Qt<major><minor><patch>
    //   QWindowIcon" from Qt 5.15 on (qtbase src/plugins/platforms/windows/qwindowscontext.cpp,
    //   registerWindowClass, classNamePrefix), shared by every Qt program.
    // Process: extras/package/win32/NSIS/vlc.nsi runs and registers "$INSTDIR\vlc.exe".
    // Title: modules/gui/qt/main_interface.cpp, setVLCWindowsTitle: "<name> - VLC media player",
    //   "VLC media player" without input (input_manager.cpp emits an empty name when it ends).
    {"VLC media player", "Qt*QWindowIcon", "vlc.exe", " - VLC media player", {"VLC media player", nullptr}, {0, 0}},
    // Audacious, its GTK interface (audacious-media-player/audacious-plugins, src/gtkui).
    // Class: GDK's Win32 back end registers top-level windows as "gdkWindowToplevel" (GTK 2
    //   gdk/win32/gdkwindow-win32.c), shared by every GTK program.
    // Process: its Windows installer script (audacious.nsi) starts "$INSTDIR\bin\audacious.exe".
    // Title: ui_gtk.cc, title_change_cb: "<title> - Audacious" while playing, "Buffering ..." until
    //   the song is ready, "Audacious" otherwise.
    {"Audacious", "gdkWindowToplevel", "audacious.exe", " - Audacious", {"Audacious", "Buffering ..."}, {0, 0}},
    // mpv (mpv-player/mpv).
    // Class: video/out/w32_common.c, classname L"mpv".
    // Title: options/options.c, the default of --title
    //   "${?media-title:${media-title}}${!media-title:No file} - mpv".
    {"mpv", "mpv", nullptr, " - mpv", {"No file - mpv", nullptr}, {0, 0}},
};

const std::size_t kKnownPlayerCount = sizeof kKnownPlayers / sizeof kKnownPlayers[0];

namespace {

// Far more top-level windows than a desktop holds; keeps a walk finite if the window list churns.
constexpr int kMaxWindowsWalked = 4096;
constexpr int kClassSize = 256;
constexpr std::size_t kPathSize = 1024;

char titleText[kKnownTitleSize];

bool SameNoCase(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (ToUpperAscii(a[i]) != ToUpperAscii(b[i]))
            return false;
    return true;
}

bool ProcessFits(const char* image, WindowHandle window) {
    if (!image)
        return true;
    char path[kPathSize];
    if (!DeskGetProcessImagePath(DeskGetWindowProcessId(window), path, sizeof path))
        return false;
    path[sizeof path - 1] = '\0';
    const char* name = path;
    for (const char* c = path; *c; ++c)
        if (*c == '\\' || *c == '/')
            name = c + 1;
    return std::strlen(name) == std::strlen(image) && SameNoCase(name, image, std::strlen(image));
}

bool IsIdleTitle(const KnownPlayer& player, const char* title) {
    for (const char* idle : player.idleTitles)
        if (idle && std::strcmp(idle, title) == 0)
            return true;
    return false;
}

// The window's title in the one title buffer, always terminated.
const char* ReadTitle(WindowHandle window) {
    DeskGetWindowText(window, titleText, kKnownTitleSize);
    titleText[kKnownTitleSize - 1] = '\0';
    return titleText;
}

} // namespace

bool ClassFits(const char* pattern, const char* className) {
    const char* star = std::strchr(pattern, '*');
    std::size_t length = std::strlen(className);
    if (!star)
        return length == std::strlen(pattern) && SameNoCase(pattern, className, length);
    std::size_t head = static_cast<std::size_t>(star - pattern);
    std::size_t tail = std::strlen(star + 1);
    return length >= head + tail && SameNoCase(pattern, className, head) &&
           SameNoCase(star + 1, className + length - tail, tail);
}

std::string SongFromTitle(const KnownPlayer& player, const char* title) {
    if (!title || IsIdleTitle(player, title))
        return std::string();
    std::size_t length = std::strlen(title);
    std::size_t end = std::strlen(player.titleEnd);
    if (length <= end || std::strcmp(title + length - end, player.titleEnd) != 0)
        return std::string();
    return std::string(title, length - end);
}

std::string ReadSong(WindowHandle window, const KnownPlayer& player) {
    std::string song = SongFromTitle(player, ReadTitle(window));
    if (song.size() > kKnownSongSize)
        song.resize(kKnownSongSize);
    return song;
}

FoundPlayer FindKnownPlayer() {
    for (std::size_t row = 0; row < kKnownPlayerCount; ++row) {
        const KnownPlayer& player = kKnownPlayers[row];
        // An exact class is looked up by Windows itself; a pattern needs every window's class.
        const bool pattern = std::strchr(player.windowClass, '*') != nullptr;
        WindowHandle window = 0;
        for (int walked = 0; walked < kMaxWindowsWalked; ++walked) {
            window = DeskFindWindowAfter(window, pattern ? nullptr : player.windowClass, nullptr);
            if (!window)
                break;
            if (pattern) {
                char className[kClassSize];
                DeskGetClassName(window, className, kClassSize);
                className[kClassSize - 1] = '\0';
                if (!ClassFits(player.windowClass, className))
                    continue;
            }
            if (!ProcessFits(player.processImage, window))
                continue;
            // The player's other windows (dialogs, hidden helpers) have neither shape of title.
            const char* title = ReadTitle(window);
            if (IsIdleTitle(player, title) || !SongFromTitle(player, title).empty())
                return FoundPlayer{window, &player};
        }
    }
    return FoundPlayer{0, nullptr};
}

bool TakesAppCommand(const KnownPlayer& player, unsigned command) {
    for (unsigned refused : player.refused)
        if (refused != 0 && refused == command)
            return false;
    return true;
}
