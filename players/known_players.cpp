#include "players/known_players.h"

#include <cstring>

#include "support/string_helpers.h"

// Each fact beside its row comes from the player's own published source; the file named is in the
// player's repository unless another is named.
//
// TIDAL Hi-Fi (Mastermindzh/tidal-hifi) is left out: it titles itself "<title> - <artists>" only when
// the song changes (src/preload.ts, the onMediaInfoUpdate callback), so before the first song the title
// is the web page's own, and its settings window, hidden, shares its process and class under a title of
// its own ("Tidal Hi-Fi settings", src/pages/settings/settings.html): either would pass for a song.
const KnownPlayer kKnownPlayers[] = {
    // foobar2000 with the Columns UI interface (reupen/columns_ui, foo_ui_columns).
    // Class: main_window.cpp, main_window_class_name "{E7076D1C-A7BF-4f39-B771-BCBE88F2A2A8}".
    // Title: main_window.cpp, MainWindow::update_title: the main window title script while a track
    //   plays, core_version_info_v2::get_name() otherwise ("foobar2000", foobar2000 SDK coreversion.h);
    //   config_items.cpp, default_main_window_title_script "[%title% - ]foobar2000".
    // Commands: its window procedure leaves WM_APPCOMMAND to DefWindowProc, which calls the shell hook
    //   (Microsoft's WM_APPCOMMAND page), and mw_wnd_proc.cpp answers HSHELL_APPCOMMAND by name: PLAY
    //   main_play, STOP main_stop, NEXTTRACK main_next, PREVIOUSTRACK main_previous.
    {"foobar2000 (Columns UI)",
     "{E7076D1C-A7BF-4f39-B771-BCBE88F2A2A8}",
     nullptr,
     " - foobar2000",
     {"foobar2000", nullptr},
     {0, 0}},
    // VLC media player 3 (videolan/vlc).
    // Class: a Qt top-level window with an icon, "Qt5QWindowIcon", or "Qt<major><minor><patch>
    //   QWindowIcon" from Qt 5.15 on (qtbase src/plugins/platforms/windows/qwindowscontext.cpp,
    //   classNamePrefix, since moved to qwindowswindowclassregistry.cpp), shared by every Qt program.
    // Process: extras/package/win32/NSIS/vlc.win32.nsi.in installs and registers "$INSTDIR\vlc.exe".
    // Title: modules/gui/qt/main_interface.cpp, setVLCWindowsTitle: "<name> - VLC media player",
    //   "VLC media player" without input (input_manager.cpp emits an empty name when it ends).
    // Commands: modules/gui/qt/main_interface_win32.cpp, MainInterfaceWin32 nativeEvent: PLAY play()
    //   (input_manager.cpp, MainInputManager::play, playlist_Play), STOP stop(), NEXTTRACK next(),
    //   PREVIOUSTRACK prev(), PLAY_PAUSE togglePlayPause().
    {"VLC media player",
     "Qt*QWindowIcon",
     "vlc.exe",
     " - VLC media player",
     {"VLC media player", nullptr},
     {0, 0}},
    // Audacious (audacious-media-player/audacious, and audacious-plugins for "plugins"), its Qt
    //   interface, the default: the Windows build bundles Qt 6 (win32/merge.sh), "use_qt" is on by
    //   default (src/libaudcore/config.cc, core_defaults; runtime.cc, aud_init), and with Qt the first
    //   interface probed is "Qt Interface" (plugin-init.cc, start_required; plugin-registry.cc,
    //   plugin_compare, by name).
    // Class: Qt 6's, as in VLC's row. Process: win32/audacious.nsi.in starts "$INSTDIR\bin\audacious.exe".
    // Title: plugins src/qtui/main_window.cc: title_change_cb "<title> - Audacious" once the song is
    //   ready, playback_begin_cb "Buffering ..." until then, playback_stop_cb "Audacious".
    // Commands: neither repository has code for WM_APPCOMMAND, the Qt interface binds no media key, and
    //   the hotkey plugins need X11 (plugins src/meson.build, src/hotkey/meson.build): the commands do
    //   nothing to it, and the row serves for the song alone.
    {"Audacious", "Qt*QWindowIcon", "audacious.exe", " - Audacious", {"Audacious", "Buffering ..."}, {0, 0}},
    // Audacious with its GTK interface, chosen in its settings (src/libaudqt/prefs-window-qt.cpp turns
    //   "use_qt" off). Class: GDK's Win32 back end registers top-level windows as "gdkWindowToplevel"
    //   (GNOME/gtk gdk/win32/gdkwindow-win32.c, RegisterGdkClass), shared by every GTK program.
    //   Title: plugins src/gtkui/ui_gtk.cc, title_change, as the Qt interface's.
    {"Audacious (GTK)",
     "gdkWindowToplevel",
     "audacious.exe",
     " - Audacious",
     {"Audacious", "Buffering ..."},
     {0, 0}},
    // mpv (mpv-player/mpv).
    // Class: video/out/w32_common.c, MPV_WINDOW_CLASS_NAME L"mpv".
    // Title: options/options.c, the default of --title
    //   "${?media-title:${media-title}}${!media-title:No file} - mpv".
    // Commands: video/out/w32_common.c, handle_appcommand, turns them into keys (osdep/w32_keyboard.c,
    //   appcmd_map: MEDIA_PLAY PLAY, MEDIA_STOP STOP, MEDIA_PLAY_PAUSE PLAYPAUSE, NEXTTRACK NEXT,
    //   PREVIOUSTRACK PREV; names in input/keycodes.c), bound in etc/input.conf: PLAY and PLAYPAUSE
    //   "cycle pause", STOP "quit", NEXT "playlist-next", PREV "playlist-prev". No command maps to
    //   PLAYONLY, so play and stop are refused: the one would pause a playing mpv, the other close it.
    {"mpv", "mpv", nullptr, " - mpv", {"No file - mpv", nullptr}, {46, 13}},
};

const std::size_t kKnownPlayerCount = sizeof kKnownPlayers / sizeof kKnownPlayers[0];

namespace {

// Far more top-level windows than a desktop holds; keeps a walk finite if the window list churns.
constexpr int kMaxWindowsWalked = 4096;
constexpr int kClassSize = 256;
constexpr std::size_t kPathSize = 1024;

char titleText[kKnownTitleSize];

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
    return SameNoCase(name, image);
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
