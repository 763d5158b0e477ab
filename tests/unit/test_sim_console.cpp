// The text rules of qxconsole, the game console stand-in: what reaches its log, how typed lines are split
// and run, and how match scripts are read.
#include "sim/console/console_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace qxsim;

namespace {

std::string clean(const std::string& msg, size_t cap = kLogLimit + 1) {
    std::vector<char> out(cap + 1, '#');
    size_t n = CleanMessage(msg.data(), msg.size(), out.data(), cap);
    EXPECT_EQ(out[cap], '#') << "wrote past the capacity";
    EXPECT_LT(n, cap);
    EXPECT_EQ(out[n], '\0');
    return std::string(out.data(), n);
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> cmds;
    size_t pos = CommandSlash(line.data(), line.size());
    while (pos < line.size()) {
        Span cmd;
        size_t next = NextCommand(line.data(), line.size(), pos, &cmd);
        EXPECT_GT(next, pos) << "no progress";
        pos = next;
        if (cmd.len > 0) {
            cmds.push_back(line.substr(cmd.start, cmd.len));
        }
    }
    return cmds;
}

std::vector<std::string> words(const std::string& cmd) {
    Args args;
    tokenize(cmd.data(), cmd.size(), &args);
    return std::vector<std::string>(args.argv, args.argv + args.argc);
}

struct Ran {
    Action action;
    std::string printed; // as the log shows it, without the final line end
};

Ran run(const std::string& cmd, char* name, size_t nameCap) {
    char out[512];
    Action action = RunCommand(cmd.data(), cmd.size(), name, nameCap, out, sizeof(out));
    std::string shown = action == Action::Print ? clean(out) : std::string();
    if (shown.size() >= 2) {
        shown.resize(shown.size() - 2);
    }
    return Ran{action, shown};
}

ScriptParse parse(const std::string& line, ScriptLine* out) {
    return ParseScriptLine(line.data(), line.size(), out);
}

std::string TextOf(const std::string& line, const ScriptLine& parsed) {
    return line.substr(parsed.text.start, parsed.text.len);
}

} // namespace

// Colour codes are a caret with a digit 0 to 7; every CR and every LF is written CRLF, as the game writes
// them, and a text without a line end gets one.
TEST(SimConsoleClean, HidesColourCodesAndEndsEveryLineWithCrLf) {
    const struct {
        std::string in, out;
    } rows[] = {
        {"^1Kyle^7: ^2hi", "Kyle: hi\r\n"},
        {"^0a^3b^4c^5d^6e", "abcde\r\n"},
        {"^8 ^9 ^x ^A stay", "^8 ^9 ^x ^A stay\r\n"},
        {"^^1x", "^x\r\n"},
        {"end^", "end^\r\n"},
        {"end^7", "end\r\n"},
        {"^7", "\r\n"},
        {"", "\r\n"},
        {"a", "a\r\n"},
        {"a\n", "a\r\n"},
        {"a\r\n", "a\r\n\r\n"},
        {"a\nb", "a\r\nb\r\n"},
        {"a\rb", "a\r\nb\r\n"},
        {"a\r\nb\n\nc", "a\r\n\r\nb\r\n\r\nc\r\n"},
        {"a\n\r", "a\r\n\r\n"},
        {"a^7\n", "a\r\n"},
        {std::string("a\0b", 3), "ab\r\n"}, // a NUL would cut the log short
    };
    for (const auto& row : rows)
        EXPECT_EQ(clean(row.in), row.out) << testing::PrintToString(row.in);
}

TEST(SimConsoleClean, KeepsTheTailOfAnOverlongMessage) {
    std::string msg = std::string(5000, 'a') + std::string(kMaxMessage, 'b');
    EXPECT_EQ(clean(msg), std::string(kMaxMessage, 'b') + "\r\n");
}

TEST(SimConsoleClean, SmallBufferCutsSafelyAndKeepsTheFinalLineEnd) {
    EXPECT_EQ(clean("abcdefghij", 8), "abcde\r\n");
    EXPECT_EQ(clean("abcd\nxyz", 8), "abcd\r\n"); // text cut at the line end, one CRLF added
    EXPECT_EQ(clean("abc\nxyz", 8), "abc\r\n");   // cut after its own line end: no second one
    EXPECT_EQ(clean("abc", 3), "\r\n");
    EXPECT_EQ(clean("abc", 2), "");
    EXPECT_EQ(CleanMessage("abc", 3, nullptr, 10), 0u);
    char one[1] = {'#'};
    EXPECT_EQ(CleanMessage("abc", 3, one, 1), 0u);
    EXPECT_EQ(one[0], '\0');
}

TEST(SimConsoleClean, WorstCaseMessageFitsTheLogBuffer) {
    std::string msg(kMaxMessage, '\n');
    std::string out = clean(msg);
    EXPECT_LE(out.size(), kLogLimit);
    EXPECT_EQ(out.size() % 2, 0u);
    EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
}

TEST(SimConsoleCounter, AppendsUpToTheLimitThenReplaces) {
    LogCounter counter{0};
    EXPECT_FALSE(CounterAdd(&counter, 0x7000));
    EXPECT_FALSE(CounterAdd(&counter, 0x7fff - 0x7000)); // exactly at the limit still appends
    EXPECT_EQ(counter.total, 0x7fffu);
    EXPECT_TRUE(CounterAdd(&counter, 10));
    EXPECT_EQ(counter.total, 10u); // restarts from the replacing text
    EXPECT_FALSE(CounterAdd(&counter, 100));
    EXPECT_EQ(counter.total, 110u);
}

TEST(SimConsoleCounter, OversizedTextsAndBrokenTotalsStillReplace) {
    LogCounter counter{0};
    EXPECT_TRUE(CounterAdd(&counter, 0x8000));
    EXPECT_TRUE(CounterAdd(&counter, 1)); // the log is already over
    EXPECT_EQ(counter.total, 1u);
    counter.total = ULONG_MAX;
    EXPECT_TRUE(CounterAdd(&counter, 5));
    EXPECT_EQ(counter.total, 5u);
    EXPECT_FALSE(CounterAdd(nullptr, 5));
}

TEST(SimConsoleSplit, SplitsAtSemicolonsOutsideQuotesAndAtLineEnds) {
    EXPECT_EQ(split("say a; say b"), (std::vector<std::string>{"say a", "say b"}));
    EXPECT_EQ(split("say \"a;b\"; echo c"), (std::vector<std::string>{"say \"a;b\"", "echo c"}));
    EXPECT_EQ(split("say \"a;b"), (std::vector<std::string>{"say \"a;b"}));
    EXPECT_EQ(split("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    // A line end closes an open quote: the next command starts unquoted.
    EXPECT_EQ(split("say \"a\nb\"; c"), (std::vector<std::string>{"say \"a", "b\"; c"}));
    EXPECT_EQ(split("say \"x\"\"y;z\""), (std::vector<std::string>{"say \"x\"\"y;z\""}));
}

TEST(SimConsoleSplit, ACommentOutsideQuotesRunsToTheLineEnd) {
    EXPECT_EQ(split("say a // b; echo c"), (std::vector<std::string>{"say a // b; echo c"}));
    EXPECT_EQ(split("say \"a // b\"; echo c"), (std::vector<std::string>{"say \"a // b\"", "echo c"}));
    EXPECT_EQ(split("say a //; b\necho c"), (std::vector<std::string>{"say a //; b", "echo c"}));
    EXPECT_EQ(split("say a/b; c /"), (std::vector<std::string>{"say a/b", "c /"}));
}

TEST(SimConsoleSplit, DropsBlanksAndEmptyCommands) {
    EXPECT_EQ(split(" ;; ;\ta ; "), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(split("").empty());
    EXPECT_TRUE(split(";;;").empty());
    EXPECT_EQ(split("  echo  a  b  "), (std::vector<std::string>{"echo  a  b"}));
}

TEST(SimConsoleSplit, SkipsOneLeadingSlashOrBackslash) {
    EXPECT_EQ(split("\\name"), (std::vector<std::string>{"name"}));
    EXPECT_EQ(split("/name"), (std::vector<std::string>{"name"}));
    EXPECT_EQ(split("//name"), (std::vector<std::string>{"/name"}));
    EXPECT_EQ(split("\\\\name"), (std::vector<std::string>{"\\name"}));
    EXPECT_EQ(split("name /x"), (std::vector<std::string>{"name /x"}));
    EXPECT_EQ(CommandSlash(nullptr, 3), 0u);
}

TEST(SimConsoleSplit, PastTheEndGivesAnEmptyCommand) {
    Span cmd{7, 7};
    EXPECT_EQ(NextCommand("abc", 3, 3, &cmd), 3u);
    EXPECT_EQ(cmd.len, 0u);
    EXPECT_EQ(NextCommand("abc", 3, 9, &cmd), 3u);
    EXPECT_EQ(cmd.len, 0u);
}

TEST(SimConsoleTokenize, QuotesGroupWordsAndAreDropped) {
    EXPECT_EQ(words("say   hello   world"), (std::vector<std::string>{"say", "hello", "world"}));
    EXPECT_EQ(words("say \"^7Hi  there\""), (std::vector<std::string>{"say", "^7Hi  there"}));
    EXPECT_EQ(words("say a\"b c\"d"), (std::vector<std::string>{"say", "a", "b c", "d"}));
    EXPECT_EQ(words("say \"open"), (std::vector<std::string>{"say", "open"}));
    EXPECT_EQ(words("name \"\""), (std::vector<std::string>{"name", ""}));
    EXPECT_TRUE(words(" \t ").empty());
    EXPECT_EQ(words("say a//b c"), (std::vector<std::string>{"say", "a"}));
    EXPECT_EQ(words("say \"x//y\" // z"), (std::vector<std::string>{"say", "x//y"}));
    EXPECT_EQ(words("say a/b /c"), (std::vector<std::string>{"say", "a/b", "/c"}));
    EXPECT_TRUE(words("// say").empty());
}

TEST(SimConsoleTokenize, StopsAtTheWordLimitAndFitsTheLongestLine) {
    std::string many;
    for (int k = 0; k < kMaxArgs + 10; ++k) {
        many += "w ";
    }
    EXPECT_EQ(words(many).size(), static_cast<size_t>(kMaxArgs));

    std::string longest(kMaxLine, 'x');
    std::vector<std::string> one = words(longest);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], longest);
}

TEST(SimConsoleTokenize, JoinsArgumentsWithSingleSpacesWithinCapacity) {
    Args args;
    const char cmd[] = "echo \"a  b\"   c d";
    tokenize(cmd, sizeof(cmd) - 1, &args);
    char out[32];
    EXPECT_EQ(JoinArgs(&args, 1, out, sizeof(out)), 8u);
    EXPECT_STREQ(out, "a  b c d");
    char small[5] = {'#', '#', '#', '#', '#'};
    EXPECT_EQ(JoinArgs(&args, 1, small, 4), 3u);
    EXPECT_STREQ(small, "a  ");
    EXPECT_EQ(small[4], '#');
    EXPECT_EQ(JoinArgs(&args, 9, out, sizeof(out)), 0u);
    EXPECT_STREQ(out, "");
}

TEST(SimConsoleCommands, NameAnswersInTheGameFormat) {
    char name[kMaxName + 1] = "Rex";
    Ran r = run("name", name, sizeof(name));
    EXPECT_EQ(r.action, Action::Print);
    EXPECT_EQ(r.printed, "\"name\" is:\"Rex\" default:\"Padawan\"");
    EXPECT_EQ(run("NaMe", name, sizeof(name)).printed, "\"name\" is:\"Rex\" default:\"Padawan\"");
}

TEST(SimConsoleCommands, NameRenamesOnlyToANewNonEmptyName) {
    char name[kMaxName + 1] = "Rex";
    Ran r = run("name \"Big Rex\" ignored", name, sizeof(name));
    EXPECT_EQ(r.action, Action::Print);
    EXPECT_EQ(r.printed, "Rex renamed to Big Rex");
    EXPECT_STREQ(name, "Big Rex");

    EXPECT_EQ(run("name \"Big Rex\"", name, sizeof(name)).action, Action::None);
    EXPECT_EQ(run("name \"\"", name, sizeof(name)).action, Action::None);
    EXPECT_STREQ(name, "Big Rex");

    EXPECT_EQ(run("name ^1Red", name, sizeof(name)).printed, "Big Rex renamed to Red");
    EXPECT_EQ(run("name", name, sizeof(name)).printed, "\"name\" is:\"Red\" default:\"Padawan\"");
}

TEST(SimConsoleCommands, OverlongNamesAreCutToTheNameBuffer) {
    char name[kMaxName + 1] = "Rex";
    std::string huge(200, 'N');
    EXPECT_EQ(run("name " + huge, name, sizeof(name)).action, Action::Print);
    EXPECT_EQ(std::string(name), std::string(kMaxName, 'N'));

    char tiny[4] = "Rex";
    EXPECT_EQ(run("name Bobby", tiny, sizeof(tiny)).action, Action::Print);
    EXPECT_STREQ(tiny, "Bob");
}

TEST(SimConsoleCommands, SayAndEchoPrintTheirWordsWithoutQuotes) {
    char name[kMaxName + 1] = "Rex";
    EXPECT_EQ(run("say \"^7Hi\"", name, sizeof(name)).printed, "Rex: Hi");
    EXPECT_EQ(run("SAY gg   all", name, sizeof(name)).printed, "Rex: gg all");
    EXPECT_EQ(run("say", name, sizeof(name)).action, Action::None);
    EXPECT_EQ(run("echo \"a b\"  c", name, sizeof(name)).printed, "a b c");
    Ran bare = run("echo", name, sizeof(name));
    EXPECT_EQ(bare.action, Action::Print);
    EXPECT_EQ(bare.printed, "");
}

TEST(SimConsoleCommands, SayComesBackCutToTheServersChatText) {
    char name[kMaxName + 1] = "Rex";
    EXPECT_EQ(run("say " + std::string(kMaxSay, 's'), name, sizeof(name)).printed,
              "Rex: " + std::string(kMaxSay, 's'));
    EXPECT_EQ(run("say \"" + std::string(kMaxSay - 2, 's') + "\" tail", name, sizeof(name)).printed,
              "Rex: " + std::string(kMaxSay - 2, 's') + " t");
    EXPECT_EQ(run("say " + std::string(300, 's'), name, sizeof(name)).printed,
              "Rex: " + std::string(kMaxSay, 's'));
}

TEST(SimConsoleCommands, QuitAndUnknownCommands) {
    char name[kMaxName + 1] = "Rex";
    EXPECT_EQ(run("quit", name, sizeof(name)).action, Action::Quit);
    EXPECT_EQ(run("QUIT now", name, sizeof(name)).action, Action::Quit);
    EXPECT_EQ(run("kill", name, sizeof(name)).action, Action::None);
    EXPECT_EQ(run("sayx hi", name, sizeof(name)).action, Action::None);
    EXPECT_EQ(run("", name, sizeof(name)).action, Action::None);
    EXPECT_STREQ(name, "Rex");
}

TEST(SimConsoleCommands, OutputIsBoundedByItsCapacity) {
    char name[kMaxName + 1] = "Rex";
    char out[9];
    std::memset(out, '#', sizeof(out));
    std::string cmd = "echo " + std::string(100, 'z');
    EXPECT_EQ(RunCommand(cmd.data(), cmd.size(), name, sizeof(name), out, 8), Action::Print);
    EXPECT_EQ(std::string(out), std::string(7, 'z'));
    EXPECT_EQ(out[8], '#');
}

// The game gathers each typed line into a 512-byte buffer with strncat(..., 512 - length - 5) and a LF,
// and copies it, unbounded, into its 256-byte console field.
TEST(SimConsoleFrame, GathersTypedLinesAsTheGameDoes) {
    const struct {
        size_t len;
        Gathered result;
        size_t kept;
        size_t frameLen; // after the line
    } frames[][4] = {
        {{255, Gathered::Kept, 255, 256},
         {255, Gathered::Kept, 251, 508}, // the room left, 512 - 256 - 5
         {1, Gathered::Kept, 1, 510},     // the room sum wraps, but the line, LF and NUL still fit
         {3, Gathered::BufferOverflow, 0, 511}},
        {{256, Gathered::FieldOverflow, 256, 257}},
        {{600, Gathered::FieldOverflow, 507, 508}},
        {{0, Gathered::Kept, 0, 1}, {kFrameText, Gathered::FieldOverflow, 506, 508}},
    };
    for (const auto& rows : frames) {
        TypedFrame frame = {};
        for (const auto& row : rows) {
            if (row.frameLen == 0)
                break;
            std::string line(row.len, 'a' + static_cast<char>(row.len % 26));
            size_t start = frame.len;
            size_t kept = 99999;
            EXPECT_EQ(GatherTyped(&frame, line.data(), line.size(), &kept), row.result) << row.len;
            EXPECT_EQ(kept, row.kept) << row.len;
            ASSERT_EQ(frame.len, row.frameLen) << row.len;
            EXPECT_EQ(std::string(frame.text + start, frame.len - start), line.substr(0, kept) + "\n");
        }
    }
    size_t kept = 7;
    EXPECT_EQ(GatherTyped(nullptr, "abc", 3, &kept), Gathered::Kept);
    EXPECT_EQ(kept, 0u);
}

TEST(SimConsoleFrame, OnlyTheFramesFirstLineLosesItsSlash) {
    TypedFrame frame = {};
    std::vector<std::vector<std::string>> ran;
    for (const std::string line : {"\\name", "/echo a;b", "\\name"}) {
        size_t start = frame.len;
        size_t kept = 0;
        GatherTyped(&frame, line.data(), line.size(), &kept);
        Span cmds[8];
        size_t n = LineCommands(&frame, start, start + kept, start == 0, cmds, 8);
        std::vector<std::string> texts;
        for (size_t k = 0; k < n; ++k)
            texts.push_back(std::string(frame.text + cmds[k].start, cmds[k].len));
        ran.push_back(texts);
    }
    EXPECT_EQ(ran, (std::vector<std::vector<std::string>>{{"name"}, {"/echo a", "b"}, {"\\name"}}));
    Span one[1];
    EXPECT_EQ(LineCommands(&frame, 0, frame.len, false, one, 1), 1u) << "bounded by its capacity";
    EXPECT_EQ(LineCommands(nullptr, 0, 5, true, one, 1), 0u);
}

TEST(SimConsoleTranscript, LineEndsBecomeSpacesAndTheCopyIsBounded) {
    char out[16];
    EXPECT_EQ(TranscriptText("a\r\nb;\\c", 7, out, sizeof(out)), 7u);
    EXPECT_STREQ(out, "a  b;\\c");
    EXPECT_EQ(TranscriptText("abcdef", 6, out, 4), 3u);
    EXPECT_STREQ(out, "abc");
}

// A message keeps its text after one separator; a directive's argument loses its surrounding blanks.
TEST(SimConsoleScript, EventsTakeTheirDelayKindAndText) {
    const struct {
        std::string line;
        unsigned long delay;
        ScriptKind kind;
        std::string text;
    } rows[] = {
        {"1500 ^1Kyle^7: ^2hi  there ", 1500, ScriptKind::Message, "^1Kyle^7: ^2hi  there "},
        {"0   indented\r", 0, ScriptKind::Message, "  indented"},
        {"  250", 250, ScriptKind::Message, ""},
        {"0 @@home", 0, ScriptKind::Message, "@home"},
        {"3000 @enter", 3000, ScriptKind::Enter, ""},
        {"0 @clear \r", 0, ScriptKind::Clear, ""},
        {"10 @close", 10, ScriptKind::Close, ""},
        {"10 @say !stats now", 10, ScriptKind::Say, "!stats now"},
        {"10 @rename   Big Rex  ", 10, ScriptKind::Rename, "Big Rex"},
    };
    for (const auto& row : rows) {
        ScriptLine s;
        ASSERT_EQ(parse(row.line, &s), ScriptParse::Event) << row.line;
        EXPECT_EQ(s.delayMs, row.delay) << row.line;
        EXPECT_EQ(s.kind, row.kind) << row.line;
        EXPECT_EQ(TextOf(row.line, s), row.text) << row.line;
    }
}

TEST(SimConsoleScript, CommentsAndBlankLinesAreSkipped) {
    ScriptLine s;
    EXPECT_EQ(parse("", &s), ScriptParse::Skip);
    EXPECT_EQ(parse("\r", &s), ScriptParse::Skip);
    EXPECT_EQ(parse(" \t ", &s), ScriptParse::Skip);
    EXPECT_EQ(parse("# 100 not an event", &s), ScriptParse::Skip);
    EXPECT_EQ(parse("   #indented comment", &s), ScriptParse::Skip);
    EXPECT_EQ(ParseScriptLine(nullptr, 4, &s), ScriptParse::Skip);
}

TEST(SimConsoleScript, BadLinesAreErrorsWithAReason) {
    const char* bad[] = {
        "hello",    "-5 hi",        "100x hi",    "86400001 late", "99999999999999999999999 overflow",
        "0 @dance", "0 @enter now", "0 @close x", "0 @rename",     "0 @rename   ",
        "0 @", // a bare @ is no directive
    };
    for (const char* line : bad) {
        ScriptLine s;
        EXPECT_EQ(parse(line, &s), ScriptParse::Error) << line;
        EXPECT_NE(s.error, nullptr) << line;
    }
    ScriptLine s;
    EXPECT_EQ(parse("0 @rename " + std::string(kMaxName + 1, 'n'), &s), ScriptParse::Error);
    EXPECT_EQ(parse("0 @rename " + std::string(kMaxName, 'n'), &s), ScriptParse::Event);
    EXPECT_EQ(parse("86400000 @close", &s), ScriptParse::Event);
    EXPECT_EQ(ParseScriptLine("0 x", 3, nullptr), ScriptParse::Error);
}

// The sample match drives the demo and the end-to-end tests; its lines must read, after the log has
// cleaned them, exactly as the companion matches them.
TEST(SimConsoleScript, SampleMatchIsAPlayableMatch) {
    std::string here = __FILE__;
    std::string root = here.substr(0, here.rfind("tests/unit/"));
    std::ifstream file(root + "sim/matches/sample.txt", std::ios::binary);
    ASSERT_TRUE(file.good()) << "cannot open " << root << "sim/matches/sample.txt";

    unsigned long totalMs = 0;
    bool entered = false;
    bool closedLast = false;
    std::vector<std::string> before;
    std::vector<std::string> after;
    std::string line;
    int lineNo = 0;
    while (std::getline(file, line)) {
        ++lineNo;
        ScriptLine s;
        ScriptParse result = parse(line, &s);
        ASSERT_NE(result, ScriptParse::Error) << "line " << lineNo << ": " << s.error;
        if (result == ScriptParse::Skip) {
            continue;
        }
        totalMs += s.delayMs;
        closedLast = s.kind == ScriptKind::Close;
        if (s.kind == ScriptKind::Enter) {
            entered = true;
        } else if (s.kind == ScriptKind::Message) {
            std::string shown = clean(TextOf(line, s));
            shown.resize(shown.size() - 2);
            (entered ? after : before).push_back(shown);
        }
    }
    EXPECT_TRUE(entered);
    EXPECT_TRUE(closedLast);
    EXPECT_GE(totalMs, 60000u);
    EXPECT_LE(totalMs, 240000u);

    auto has = [](const std::vector<std::string>& lines, const std::string& want) {
        for (const std::string& l : lines) {
            if (l == want) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(has(before, "Rex captured the BLUE flag!")) << "old events the companion must ignore";
    EXPECT_TRUE(has(after, "Rex captured the BLUE flag!"));
    EXPECT_TRUE(has(after, "Rex returned the RED flag!"));
    EXPECT_TRUE(has(after, "Rex killed RED's flag carrier"));
    EXPECT_TRUE(has(after, "Kyle captured the BLUE flag!"));
    EXPECT_TRUE(has(after, "Tavion captured the RED flag!"));
    EXPECT_TRUE(has(after, "Jan renamed to Jan_Ors"));
    EXPECT_TRUE(has(after, "Kyle: hi Rex"));
}
