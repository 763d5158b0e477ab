// qxclient, the today's-client stand-in, on its own: started from a driver that gives it a console, as
// the companion will, so that the stand-in is known to behave before the companion relies on it.
#include "tests/e2e/client_world.h"

#include <algorithm>

using namespace e2e;

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string Transcript() {
    return in_workdir("transcript.txt");
}

Process StartClient(const std::string& args, const std::string& exe = program_path("qxclient")) {
    return start(exe, "--transcript " + Quoted(Transcript()) + " " + args);
}

// Hands the console on as the client's standard output and error too, as a companion does whose
// AllocConsole pointed its own at the console: the real clients print to those, not to CONOUT$.
Process StartClientIn(const world::OwnConsole& console, const std::string& args,
                      const std::string& exe = program_path("qxclient")) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, console.out);
    SetStdHandle(STD_ERROR_HANDLE, console.out);
    Process client = StartClient(args, exe);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, err);
    return client;
}

// qxclient under a release name, in a folder of its own.
std::string CopyAs(const std::string& folder, const std::string& name) {
    world::MakeFolders(folder);
    const std::string exe = folder + "\\" + name;
    REQUIRE_TRUE(CopyFileA(program_path("qxclient").c_str(), exe.c_str(), FALSE));
    return exe;
}

// A console without a window: a console program started with CREATE_NO_WINDOW makes one, the driver
// attaches to it (once it exists) and ends the program. The driver's output stays where it was.
world::OwnConsole MakeWindowlessConsole() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    // The helper reads its commands from a pipe never written: a reader of the console (as "pause" is)
    // could keep a read pending that takes the first key typed later.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE commands = nullptr, feed = nullptr;
    REQUIRE_TRUE(CreatePipe(&commands, &feed, &inheritable, 0));
    SetHandleInformation(feed, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = commands;
    PROCESS_INFORMATION pi = {};
    char cmd[] = "cmd.exe /d /q /k";
    REQUIRE_TRUE(
        CreateProcessA(nullptr, cmd, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
    CloseHandle(commands);
    bool attached = poll_until([&pi] { return AttachConsole(pi.dwProcessId) != FALSE; }, 10000);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(feed);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, err);
    REQUIRE_TRUE(attached);
    world::OwnConsole console;
    console.in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    console.out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE_TRUE(console.in != INVALID_HANDLE_VALUE && console.out != INVALID_HANDLE_VALUE);
    return console;
}

const std::vector<std::string> kForkAnswer = {
    "^9Cvar ^7name = ^9\"^7Rex^9\"^7, ^7default = ^9\"^7Padawan^9\"^7", "^2Player name ^7 "};

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line)
            return true;
    return false;
}

// How many "YYYY-MM-DD HH:MM:SS " stamps the line starts with.
int LeadingStamps(const std::string& line) {
    static const char shape[] = "dddd-dd-dd dd:dd:dd ";
    const size_t n = sizeof(shape) - 1;
    int stamps = 0;
    for (size_t at = 0; at + n <= line.size(); at += n, ++stamps) {
        for (size_t k = 0; k < n; ++k) {
            bool digit = line[at + k] >= '0' && line[at + k] <= '9';
            if (shape[k] == 'd' ? !digit : line[at + k] != shape[k])
                return stamps;
        }
    }
    return stamps;
}

} // namespace

SCENARIO(console_family_answers_echoes_and_logs) {
    world::ScopedDocuments documents(in_workdir("docs"));
    const std::string folder = in_workdir("docs") + "\\My Games\\qxclient\\base";
    const std::string log = folder + "\\qconsole.log";
    world::MakeFolders(folder);
    write_file(log, "a line of an earlier game\n");
    write_file("match.txt", "0 ^1Kyle^7 captured the ^4BLUE^7 flag!\n");
    world::OwnConsole console = world::MakeConsole();

    Process client = StartClientIn(console, "--reads-console --log-delay 3000 --script " +
                                                Quoted(in_workdir("match.txt")) + " +set logfile 2 +name");
    wait_file_line(Transcript(), "console inherited");
    CHECK_EQ(std::string("a line of an earlier game\n"), read_file(log).value_or("(none)"));
    std::vector<std::string> screen = world::WaitScreenLine(console, "Kyle captured the BLUE flag!");
    CHECK_TRUE(Has(screen, "Cvar name = \"Rex\", default = \"Padawan\""));
    CHECK_TRUE(screen.size() > 0 && screen[0].rfind("qxclient 1.0 win-x86", 0) == 0);

    world::WriteEvents(console, world::KeyDowns("\\name"));
    world::WaitQueueEmpty(console);
    world::WaitScreenLine(console, "\\name");
    world::WriteEvents(console, world::KeyDowns("say \"^7Hi\""));
    world::WaitScreenLine(console, "Rex: Hi");
    // '%' sent with its character code as the virtual key is the left arrow, which ends the frame's reading:
    // the "!" and the Enter behind it are lost, and the line waits, drawn, with the cursor before the "0".
    world::WriteEvents(console, world::KeyDowns("echo 50%!", true, world::KeyCodes::CharCode));
    world::WaitScreenLine(console, "echo 50");
    world::WriteEvents(console, world::KeyDowns("!"));
    world::WaitScreenLine(console, "5!0");
    // Everything after the first Enter is flushed; an empty line prints an empty line.
    std::vector<INPUT_RECORD> two = world::KeyDowns("echo one");
    std::vector<INPUT_RECORD> second = world::KeyDowns("echo two");
    two.insert(two.end(), second.begin(), second.end());
    world::WriteEvents(console, two);
    world::WaitScreenLine(console, "one");
    world::WaitQueueEmpty(console);
    world::WriteEvents(console, world::KeyDowns(""));
    wait_file_line(Transcript(), "line ");
    world::WriteEvents(console, world::KeyDowns("quit"));
    CHECK_EQ(0ul, wait_exit(client));

    CHECK_TRUE(!Has(world::ScreenLines(console), "two"));
    std::vector<std::string> records = file_lines(Transcript());
    for (const char* record : {"attach failed 5", "line \\name", "cmd name", "cursor left", "lost 2",
                               "line echo 5!0", "lost 9", "line quit", "exit 0", "cmdline name"})
        CHECK_TRUE(Has(records, record));
    CHECK_TRUE(!Has(records, "console windowless") && !Has(records, "line echo two"));
    CHECK_TRUE(Has(records, "log " + log));
    std::vector<std::string> expected = {"qxclient ready", kForkAnswer[0], kForkAnswer[1],
                                         "^1Kyle^7 captured the ^4BLUE^7 flag!", "\\name"};
    expected.insert(expected.end(), kForkAnswer.begin(), kForkAnswer.end());
    for (const char* line :
         {"say \"^7Hi\"", "Rex^7: ^2^7Hi", "echo 5!0", "5!0", "echo one", "one", "", "quit"})
        expected.push_back(line);
    CHECK_EQ(expected, file_lines(log));
}

SCENARIO(reads_nothing_family_stamps_its_log) {
    world::OwnConsole console = world::MakeConsole();
    const std::string home = in_workdir("home dir");
    write_file("match.txt", "0 @enter\n4000 @close\n");
    Process client =
        StartClientIn(console, "--stamp-quirks --log-delay 500 --long-line --non-ascii --script " +
                                   Quoted(in_workdir("match.txt")) + " +set fs_homepath " + Quoted(home) +
                                   " +set fs_game mymod +set logfile 2 +name");
    wait_file_line(Transcript(), "console inherited");
    world::WriteEvents(console, world::KeyDowns("\\name"));
    wait_file_line(Transcript(), "queued 6");
    CHECK_EQ(0ul, wait_exit(client, 15000));
    // It prints only to its standard output, colour codes stripped, and never reads what is typed.
    std::vector<std::string> screen = world::ScreenLines(console);
    CHECK_TRUE(Has(screen, "Cvar name = \"Rex\", default = \"Padawan\"") &&
               Has(screen, "Rex entered the game"));
    CHECK_TRUE(!Has(file_lines(Transcript()), "line \\name") && !Has(screen, "\\name"));

    std::vector<std::string> lines = file_lines(home + "\\mymod\\qconsole.log");
    REQUIRE_EQ(6ul, lines.size());
    const int stamps[] = {0, 2, 1, 1, 1, 1};
    for (size_t k = 0; k < lines.size(); ++k)
        CHECK_EQ(stamps[k], LeadingStamps(lines[k]));
    const size_t one = 20;
    CHECK_EQ(std::string("qxclient ready"), lines[0]);
    CHECK_EQ(std::string("^9Cvar ^7name = ^9\"^7Rex^9\"^7, ^7default = ^9\"^7Padawan^9\"^7"),
             lines[1].substr(2 * one));
    CHECK_EQ(std::string("Player name"), lines[2].substr(one));
    CHECK_EQ(65536ul, lines[3].size() - one);
    CHECK_EQ(std::string(":end"), lines[3].substr(lines[3].size() - 4));
    std::string high;
    for (int c = 0x80; c <= 0xff; ++c)
        high += static_cast<char>(c);
    CHECK_EQ("non-ascii:" + high, lines[4].substr(one));
    CHECK_EQ(std::string("Rex^7 entered the game"), lines[5].substr(one));
}

SCENARIO(without_a_console_and_at_bad_starts) {
    const std::string home = in_workdir("home");
    write_file("match.txt", "0 one\n0 two\n100 @close\n");
    Process client = StartClient("--reads-console --no-line-ends --log-delay 0 --script " +
                                 Quoted(in_workdir("match.txt")) + " +set fs_homepath " + Quoted(home) +
                                 " +set logfile 2");
    CHECK_EQ(0ul, wait_exit(client, 15000));
    std::vector<std::string> records = file_lines(Transcript());
    REQUIRE_TRUE(records.size() > 2);
    CHECK_EQ((std::vector<std::string>{"attach failed 5", "console none"}),
             (std::vector<std::string>{records[1], records[2]}));
    CHECK_EQ(std::string("qxclient readyonetwo"),
             read_file(home + "\\base\\qconsole.log").value_or("(none)"));

    client = StartClient("--exit-at-once +set fs_homepath " + Quoted(in_workdir("gone")) + " +set logfile 2");
    CHECK_EQ(0ul, wait_exit(client));
    records = file_lines(Transcript());
    CHECK_EQ(2ul, records.size());
    CHECK_EQ(std::string("exit 0"), records.back());
    CHECK_TRUE(!file_exists(in_workdir("gone")));

    client = StartClient("--crash-at-start +set logfile 2");
    CHECK_EQ(static_cast<unsigned long>(EXCEPTION_ACCESS_VIOLATION), wait_exit(client, 30000));
    CHECK_EQ(1ul, file_lines(Transcript()).size());

    // Under a release name the name decides the family.
    client = StartClient("--reads-console", CopyAs(in_workdir("ojk"), "openjk.x86_64.exe"));
    CHECK_EQ(2ul, wait_exit(client));
    CHECK_EQ(
        std::string("fail --reads-console and --client do not apply to openjk.x86_64.exe: its name decides"),
        file_lines(Transcript()).back());
}

SCENARIO(a_typed_line_longer_than_254_fails_loudly) {
    world::OwnConsole console = world::MakeConsole();
    Process client = StartClientIn(console, "--reads-console --log-delay 0");
    world::WaitScreenLine(console, "qxclient ready");
    const std::string longest(254, 'b');
    world::WriteEvents(console, world::KeyDowns(longest));
    world::WaitQueueEmpty(console);
    wait_file_line(Transcript(), "line " + longest);
    // 300 events: the oldest is dropped each frame until 255 are left, and the line of 255 is refused.
    world::WriteEvents(console, world::KeyDowns(std::string(300, 'c'), false));
    world::WaitQueueEmpty(console);
    world::WriteEvents(console, world::KeyDowns("", true));
    CHECK_EQ(3ul, wait_exit(client));
    std::vector<std::string> records = file_lines(Transcript());
    CHECK_EQ(45, std::count(records.begin(), records.end(), "dropped 1"));
    CHECK_EQ(std::string("fail typed line of 255 characters, longer than 254"), records.back());
}

SCENARIO(fork_in_a_windowless_console) {
    world::OwnConsole console = MakeWindowlessConsole();
    CHECK_TRUE(GetConsoleWindow() == nullptr);
    const std::vector<std::string> before = world::ScreenLines(console);
    const std::string folder = in_workdir("ejk");
    Process client = StartClientIn(console, "--log-delay 500 +set logfile 2 +name",
                                   CopyAs(folder, "eternaljk.x86_64.exe"));
    wait_file_line(Transcript(), "console windowless");
    wait_file_line(Transcript(), "log " + folder + "\\EternalJK\\qconsole.log");
    wait_file_line(Transcript(), "cmdline name");
    world::WriteEvents(console, world::KeyDowns("\\name"));
    world::WaitQueueEmpty(console);
    wait_file_line(Transcript(), "line \\name");
    world::WriteEvents(console, world::KeyDowns("quit"));
    CHECK_EQ(0ul, wait_exit(client));

    CHECK_EQ(before, world::ScreenLines(console));
    std::vector<std::string> records = file_lines(Transcript());
    for (const std::string& record :
         {std::string("attach failed 5"), std::string("console inherited"), "write-test " + folder + "/w ok"})
        CHECK_TRUE(Has(records, record));
    CHECK_TRUE(!file_exists(folder + "\\w"));
    std::vector<std::string> expected = {"eternaljk ready", kForkAnswer[0], kForkAnswer[1], "\\name"};
    expected.insert(expected.end(), kForkAnswer.begin(), kForkAnswer.end());
    expected.push_back("quit");
    CHECK_EQ(expected, file_lines(folder + "\\EternalJK\\qconsole.log"));
}

SCENARIO(release_names_pick_their_log_folders) {
    const std::string docs = in_workdir("docs");
    world::ScopedDocuments documents(docs);
    write_file("match.txt", "0 @close\n");
    // A folder named "w" makes the fork's write test fail.
    world::MakeFolders(in_workdir("locked\\w"));
    const struct {
        const char *folder, *exe, *product;
        std::string log;
    } rows[] = {
        {"a", "openjk.x86.exe", "openjk", docs + "\\My Games\\OpenJK\\base"},
        {"c", "eternaljk.x86.exe", "eternaljk", in_workdir("c\\EternalJK")},
        {"locked", "eternaljk.x86_64.exe", "eternaljk", docs + "\\My Games\\EternalJK\\EternalJK"},
    };
    for (const auto& row : rows) {
        DeleteFileA((row.log + "\\qconsole.log").c_str());
        Process client =
            StartClient("--log-delay 0 --script " + Quoted(in_workdir("match.txt")) + " +set logfile 2",
                        CopyAs(in_workdir(row.folder), row.exe));
        CHECK_EQ(0ul, wait_exit(client));
        CHECK_EQ(std::vector<std::string>{std::string(row.product) + " ready"},
                 file_lines(row.log + "\\qconsole.log"));
    }
    CHECK_TRUE(Has(file_lines(Transcript()), "write-test " + in_workdir("locked") + "/w failed"));
}
