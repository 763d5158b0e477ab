// qxclient, the today's-client stand-in, on its own: started from a driver that gives it a console, as
// the companion will, so that the stand-in is known to behave before the companion relies on it.
#include "tests/e2e/client_world.h"

using namespace e2e;

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string Transcript() {
    return in_workdir("transcript.txt");
}

Process StartClient(const std::string& args) {
    return start(program_path("qxclient"), "--transcript " + Quoted(Transcript()) + " " + args);
}

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

    Process client = StartClient("--reads-console --log-delay 3000 --script " +
                                 Quoted(in_workdir("match.txt")) + " +set logfile 2 +name");
    wait_file_line(Transcript(), "console inherited");
    CHECK_EQ(std::string("a line of an earlier game\n"), read_file(log).value_or("(none)"));
    std::vector<std::string> screen = world::WaitScreenLine(console, "Kyle captured the BLUE flag!");
    CHECK_TRUE(Has(screen, "\"name\" is:\"Rex\" default:\"Padawan\""));
    CHECK_TRUE(screen.size() > 0 && screen[0].rfind("qxclient 1.0 win-x86", 0) == 0);

    world::WriteEvents(console, world::KeyDowns("\\name"));
    world::WaitQueueEmpty(console);
    world::WaitScreenLine(console, "]\\name");
    world::WriteEvents(console, world::KeyDowns("say \"^7Hi\""));
    world::WaitScreenLine(console, "Rex: Hi");
    // '%' sent with its character code as the virtual key is the left arrow: "!" lands before the "0".
    world::WriteEvents(console, world::KeyDowns("echo 50%!", true, world::KeyCodes::CharCode));
    world::WaitScreenLine(console, "]echo 5!0");
    // Everything after the first Enter is flushed.
    std::vector<INPUT_RECORD> two = world::KeyDowns("echo one");
    std::vector<INPUT_RECORD> second = world::KeyDowns("echo two");
    two.insert(two.end(), second.begin(), second.end());
    world::WriteEvents(console, two);
    world::WaitScreenLine(console, "one");
    world::WaitQueueEmpty(console);
    world::WriteEvents(console, world::KeyDowns("quit"));
    CHECK_EQ(0ul, wait_exit(client));

    CHECK_TRUE(!Has(world::ScreenLines(console), "two"));
    std::vector<std::string> records = file_lines(Transcript());
    for (const char* record : {"line \\name", "cmd name", "cursor left", "line echo 5!0", "lost 9",
                               "line quit", "exit 0", "cmdline name"})
        CHECK_TRUE(Has(records, record));
    CHECK_TRUE(!Has(records, "line echo two"));
    CHECK_TRUE(Has(records, "log " + log));
    const std::vector<std::string> expected = {
        "qxclient ready",
        "\"name\" is:\"Rex^7\" default:\"Padawan^7\"",
        "^1Kyle^7 captured the ^4BLUE^7 flag!",
        "]\\name",
        "\"name\" is:\"Rex^7\" default:\"Padawan^7\"",
        "]say \"^7Hi\"",
        "Rex^7: ^2^7Hi",
        "]echo 5!0",
        "5!0",
        "]echo one",
        "one",
        "]quit",
    };
    CHECK_EQ(expected, file_lines(log));
}

SCENARIO(reads_nothing_family_stamps_its_log) {
    world::OwnConsole console = world::MakeConsole();
    const std::string home = in_workdir("home dir");
    write_file("match.txt", "0 @enter\n4000 @close\n");
    Process client = StartClient("--stamp-quirks --log-delay 500 --long-line --non-ascii --script " +
                                 Quoted(in_workdir("match.txt")) + " +set fs_homepath " + Quoted(home) +
                                 " +set fs_game mymod +set logfile 2 +name");
    wait_file_line(Transcript(), "console inherited");
    world::WriteEvents(console, world::KeyDowns("\\name"));
    wait_file_line(Transcript(), "queued 6");
    CHECK_EQ(0ul, wait_exit(client, 15000));
    CHECK_EQ(std::vector<std::string>{}, world::ScreenLines(console));
    CHECK_TRUE(!Has(file_lines(Transcript()), "line \\name"));

    std::vector<std::string> lines = file_lines(home + "\\mymod\\qconsole.log");
    REQUIRE_EQ(5ul, lines.size());
    const int stamps[] = {0, 2, 1, 1, 1};
    for (size_t k = 0; k < lines.size(); ++k)
        CHECK_EQ(stamps[k], LeadingStamps(lines[k]));
    const size_t one = 20;
    CHECK_EQ(std::string("qxclient ready"), lines[0]);
    CHECK_EQ(std::string("\"name\" is:\"Rex^7\" default:\"Padawan^7\""), lines[1].substr(2 * one));
    CHECK_EQ(65536ul, lines[2].size() - one);
    CHECK_EQ(std::string(":end"), lines[2].substr(lines[2].size() - 4));
    std::string high;
    for (int c = 0x80; c <= 0xff; ++c)
        high += static_cast<char>(c);
    CHECK_EQ("non-ascii:" + high, lines[3].substr(one));
    CHECK_EQ(std::string("Rex^7 entered the game"), lines[4].substr(one));
}

SCENARIO(without_a_console_and_at_bad_starts) {
    const std::string home = in_workdir("home");
    write_file("match.txt", "0 one\n0 two\n100 @close\n");
    Process client = StartClient("--reads-console --no-line-ends --log-delay 0 --script " +
                                 Quoted(in_workdir("match.txt")) + " +set fs_homepath " + Quoted(home) +
                                 " +set logfile 2");
    CHECK_EQ(0ul, wait_exit(client, 15000));
    CHECK_TRUE(Has(file_lines(Transcript()), "console none"));
    CHECK_EQ(std::string("qxclient readyonetwo"),
             read_file(home + "\\base\\qconsole.log").value_or("(none)"));

    client = StartClient("--exit-at-once +set fs_homepath " + Quoted(in_workdir("gone")) + " +set logfile 2");
    CHECK_EQ(0ul, wait_exit(client));
    std::vector<std::string> records = file_lines(Transcript());
    CHECK_EQ(2ul, records.size());
    CHECK_EQ(std::string("exit 0"), records.back());
    CHECK_TRUE(!file_exists(in_workdir("gone")));

    client = StartClient("--crash-at-start +set logfile 2");
    CHECK_EQ(static_cast<unsigned long>(EXCEPTION_ACCESS_VIOLATION), wait_exit(client, 30000));
    CHECK_EQ(1ul, file_lines(Transcript()).size());
}

SCENARIO(a_typed_line_longer_than_254_fails_loudly) {
    world::OwnConsole console = world::MakeConsole();
    Process client = StartClient("--reads-console --log-delay 0");
    world::WaitScreenLine(console, "qxclient ready");
    const std::string longest(254, 'b');
    world::WriteEvents(console, world::KeyDowns(longest));
    world::WaitQueueEmpty(console);
    wait_file_line(Transcript(), "line " + longest);
    // 300 events: the oldest is dropped, and the line of 299 that Enter then ends is refused.
    world::WriteEvents(console, world::KeyDowns(std::string(300, 'c'), false));
    world::WaitQueueEmpty(console);
    world::WriteEvents(console, world::KeyDowns("", true));
    CHECK_EQ(3ul, wait_exit(client));
    std::vector<std::string> records = file_lines(Transcript());
    CHECK_TRUE(Has(records, "dropped 1"));
    CHECK_EQ(std::string("fail typed line of 299 characters, longer than 254"), records.back());
}
