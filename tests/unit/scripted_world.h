// The programs around the companion, scripted once on the seam's double for the unit suites, the
// fuzzers and the benchmarks: the game console, Winamp and Windows Media Player, behaving as their
// Wine stand-ins do (sim/), with options for the awkward cases: dialogs that open late or never,
// windows that vanish, odd fields. Every window the world makes has a name for traces, kept after
// the window is gone.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/client/client_text.h"
#include "sim/console/console_text.h"
#include "tests/unit/fake_desktop.h"

class ScriptedWorld {
  public:
    // The game console: its input line is its first child and runs a line on character 13, echoing it
    // as "]<line>" and running its commands (say, echo, name, quit) as the game does, at once rather
    // than a frame later; its log is the fifth child.
    struct Console {
        std::string title = "Test console";
        std::string player = "Rex"; // the name the game runs "say" and "name" with
        WindowHandle window = 0, input = 0, log = 0;
        std::vector<std::string> typed;     // every line typed, in order
        int mostCommands = 0;               // the most commands the game found in one typed line
        std::vector<std::string> overflows; // typed lines longer than the game's 255-character field
        qxsim::LogCounter appended = {0};   // the game's running count of characters appended
    };

    // Winamp: titled "<n>. <entry> - Winamp" after every change; command 40194 opens its "Jump to file"
    // dialog (an edit first; the seventh control searches, the third plays what the search found).
    struct Winamp {
        std::uint32_t processId = 21;
        bool is64Bit = false;
        std::vector<std::string> playlist = {"Alpha Band - First Light", "Beta Crew - Second Wind",
                                             "Gamma Ray - Third Time Lucky"};
        int playing = 0;
        bool repeat = false; // next and previous wrap round at the ends only while on
        bool shuffle = false;
        int jumpDelayMs = 0;  // the dialog opens this long after the command; -1: never
        int jumpControls = 7; // a dialog with fewer lacks the last ones
        // Messages the scripted Winamp does not know; return true to take one.
        std::function<bool(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                           std::intptr_t& result)>
            otherMessages;
        WindowHandle window = 0, jump = 0;
        std::vector<std::string> searches; // texts the dialog's search ran with
    };

    // Windows Media Player: a list view of the titles five first-children below the main window,
    // answered through remote memory in the player's own layout; command 18779 opens a Properties
    // dialog whose title and artist fields fill only after the exact press.
    struct Wmp {
        std::uint32_t processId = 22;
        bool is64Bit = sizeof(void*) == 8;
        std::vector<std::string> playlist = {"Intro", "Alpha Song", "Beta", "Gamma"};
        std::string artist = "Some Band"; // of every entry; "-" for none
        int playing = 0;
        bool repeat = false;
        int propertiesDelayMs = 0;       // -1: never
        std::string propertiesTitle;     // when not empty, shown instead of the entry's title
        int fieldCount = 8;              // fewer: the dialog lacks the last fields (the artist is the sixth)
        bool unterminatedArtist = false; // the artist field fills the whole buffer, no terminator
        WindowHandle window = 0, list = 0;
        std::vector<WindowHandle> dialogs; // every Properties dialog opened
        std::vector<int> entriesRead;      // LVM_GETITEMTEXTA item numbers, in order
        std::vector<std::uint64_t> textMaxSeen;
        int badRecords = 0; // item records or text buffers that did not lie in the player's memory
    };

    // A today's game client that the companion starts, the stand-in's rules posing as the release
    // exe its name gives: it inherits the companion's console and, once it has read its configuration
    // (ClientReady), starts its qconsole.log afresh and runs its command line's commands. The family
    // that reads a console takes its queue at its next frame (the next seam call after frameMs),
    // prints a typed line bare in the log, and runs it; the other family never reads its queue. The
    // name query is answered as the clients do. Only a client nobody knows prints on the console's
    // screen, which has no window.
    struct Client {
        std::string exe = "C:\\Games\\qxclient.exe";
        bool readsConsole = true; // for a client nobody knows
        std::string log = "C:\\Users\\Rex\\Documents\\My Games\\qxclient\\base\\qconsole.log";
        bool writesLog = true;
        std::string stamp; // before every line of the log
        std::string player = "Rex";
        int frameMs = 0;
        int linesLost = 0;              // the next typed lines are lost: no echo, not run
        std::vector<std::string> typed; // lines it read from its console, in order
        bool logStarted = false;
    };

    // A player of today, driven by WM_APPCOMMAND: it poses as any known player through its class, its
    // process image and its titles (VLC's by default). Next and previous move along the titles, stop
    // shows the stopped title, play and play/pause show the title again. Every WM_APPCOMMAND is kept.
    struct Other {
        std::uint32_t processId = 23;
        std::string className = "Qt5QWindowIcon";
        std::string imagePath = "C:\\Program Files\\VideoLAN\\VLC\\vlc.exe";
        std::vector<std::string> titles = {"Alpha Band - First Light - VLC media player",
                                           "Beta Crew - Second Wind - VLC media player",
                                           "Gamma Ray - Third Time Lucky - VLC media player"};
        std::string stoppedTitle = "VLC media player";
        int playing = 0;
        bool stopped = false;
        WindowHandle window = 0;
        std::vector<std::pair<std::uintptr_t, std::intptr_t>> received; // wParam, lParam
    };

    Console console;
    Winamp winamp;
    Wmp wmp;
    Client client;
    Other other;

    ScriptedWorld();
    ScriptedWorld(const ScriptedWorld&) = delete;
    ScriptedWorld& operator=(const ScriptedWorld&) = delete;

    // The double emptied (fake::Reset), every option and record back to its default.
    void Reset();

    // The companion's own main window with its labels, as the monitor writes them.
    WindowHandle OpenCompanion();

    // The console window; the history is its log's text at start, counted as appended.
    void OpenConsole(const std::string& history = std::string());
    // The game prints a line: colour codes hidden, CRLF added, and once more than 0x7fff characters
    // have been appended in all, the whole log replaced by it.
    void Print(const std::string& line);
    void CloseConsole();

    // The next Start game begins the client.
    void OfferClient();
    void ClientReady();
    // The client prints a line: into its log (stamp, colour codes and "\n") and, for the family
    // that reads a console, onto its screen (colour codes hidden, wrapped at the width, scrolled).
    void ClientPrint(const std::string& line);
    void EndClient();
    // Who the client is, by its exe's name (qxclient.exe: a client nobody knows, of readsConsole's
    // family), and whether it reads its console.
    qxsim::ClientKind ClientKind() const;
    bool ClientReadsConsole() const;

    void OpenWinamp();
    void OpenWmp();
    void OpenOther();
    void ShowWinampTitle();
    // The open Properties dialogs of the player.
    int OpenPropertiesDialogs() const;

    // A name for a window in traces (the world names its own).
    void Name(WindowHandle window, const std::string& name);
    std::string NameOf(WindowHandle window) const;

    enum TraceFilter : unsigned {
        kLeaveOutPolls = 1,   // looks for a dialog and the pauses between them
        kLeaveOutConsole = 2, // what is typed into the console
    };
    // What reached a window or a process, or took time, one line per call: "SendMessage winamp
    // WM_COMMAND 40048 0", "Sleep 200", "Look" (a search for a dialog starting), "OpenProcess 0x438".
    std::vector<std::string> Trace(unsigned leaveOut = 0) const;
    // WM_COMMAND wParams sent or posted to the window, in order.
    std::vector<std::uintptr_t> CommandsTo(WindowHandle window) const;
    // What the companion left behind: open process handles, remote blocks, Properties dialogs.
    std::vector<std::string> Leftovers() const;

    // Runs after every call besides the world's own work (faults in the middle of an operation).
    void OnCall(std::function<void(const fake::Call&)> hook);

  private:
    std::map<WindowHandle, std::string> names_;
    std::function<void(const fake::Call&)> hook_;
    std::vector<char> cleaned_;
    std::uint64_t jumpAt_ = 0, propertiesAt_ = 0;
    bool jumpDue_ = false, propertiesDue_ = false;
    bool jumpArmed_ = false;
    int jumpFound_ = -1;
    int jumpDialogs_ = 0;

    WindowHandle Add(const std::string& className, const std::string& text, WindowHandle parent,
                     const std::string& name = std::string());
    void AfterCall(const fake::Call& call);
    std::uint64_t clientFrameAt_ = 0;
    bool clientInputDue_ = false;

    void RunTyped(const std::string& typed);
    // Runs a typed line's commands as the game does, each answer printed.
    bool RunCommands(const std::string& line, std::string& player,
                     void (ScriptedWorld::*print)(const std::string&));
    void ClientFrame();
    bool ClientCommands(const std::string& line);
    bool WinampCommand(std::uintptr_t command);
    void OpenJumpDialog();
    fake::MessageHandler JumpControl();
    void JumpSearch();
    void JumpPlay();
    bool WmpCommand(std::uintptr_t command);
    void OpenProperties();
    std::intptr_t ListItemText(std::uintptr_t item, std::intptr_t record);
};
