// The journal and the History window with the real quorvex.exe under Wine: the rows an evening
// leaves, a journal that cannot be written, and the window itself, down to its pixels.
#include "tests/e2e/companion_world.h"

#include "sim/console_protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

using namespace world;

namespace {

constexpr int kHistoryCommand = 9008;
const char kHistoryClass[] = "QuorvexHistory";
const char kHistoryTitle[] = "Quorvex - History";
const char kJournal[] = "qxjournal.csv";
const char kHeader[] = "time,event,count,player";

const COLORREF kCaps = RGB(220, 40, 40);
const COLORREF kFcFrags = RGB(40, 90, 220);
const COLORREF kReturns = RGB(30, 160, 60);

// A local time as the journal writes it, from this process's own view of the zone.
std::string JournalTime(std::time_t when) {
    std::tm local = *std::localtime(&when);
    std::tm utc = *std::gmtime(&when);
    int days =
        local.tm_year != utc.tm_year ? (local.tm_year < utc.tm_year ? -1 : 1) : local.tm_yday - utc.tm_yday;
    int offset = (days * 1440 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
    return text;
}

// Noon of the local day `back` days before today.
std::time_t NoonDaysAgo(int back) {
    std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    local.tm_hour = 12;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_mday -= back;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// Earlier evenings, one a day, each with every kind of event; on the last of them caps come most
// often and returns least, so the rate lines lie red over blue over green there.
std::string EarlierEvenings(int days) {
    std::string text = std::string(kHeader) + "\r\n";
    int caps = 0, frags = 0, returns = 0;
    for (int back = days; back >= 1; --back) {
        std::time_t noon = NoonDaysAgo(back);
        int counts[3] = {3 + 2 * (back % 3) + (back == 1 ? 4 : 0), 2 + 3 * (back % 2) + (back == 1 ? 1 : 0),
                         1};
        const char* events[3] = {"cap", "fcfrag", "return"};
        int* totals[3] = {&caps, &frags, &returns};
        for (int e = 0; e < 3; ++e) {
            for (int i = 0; i < counts[e]; ++i)
                text += JournalTime(noon + 60 * i) + "," + events[e] + "," + std::to_string(++*totals[e]) +
                        ",\"^1Rex, the \"\"Red\"\"\"\r\n";
        }
        text += JournalTime(noon + 1500) + ",visit," + std::to_string(1200 + 600 * (back % 2)) + ",Rex\r\n";
    }
    return text;
}

HWND OpenHistory(const Companion& companion) {
    e2e::send_command(companion.window, kHistoryCommand);
    return e2e::wait_window(kHistoryClass, kHistoryTitle, 10000, companion.process.pid);
}

int HistoryWindows(DWORD pid) {
    int count = 0;
    for (HWND w = FindWindowExA(nullptr, nullptr, kHistoryClass, nullptr); w;
         w = FindWindowExA(nullptr, w, kHistoryClass, nullptr))
        count += e2e::window_pid(w) == pid;
    return count;
}

// The window's client area as the screen shows it, read back from the screen.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * width + x];
    }
};

Picture Capture(HWND window) {
    Picture p;
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    p.width = client.right;
    p.height = client.bottom;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, p.width, p.height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const unsigned char* bytes = static_cast<const unsigned char*>(bits);
    p.pixels.resize(static_cast<std::size_t>(p.width) * p.height);
    for (std::size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = RGB(bytes[4 * i + 2], bytes[4 * i + 1], bytes[4 * i]);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return p;
}

// The picture once two reads in a row agree: a window being moved or painted is not caught half done.
Picture SettledCapture(HWND window) {
    Picture last = Capture(window);
    for (int i = 0; i < 50; ++i) {
        Sleep(100);
        Picture next = Capture(window);
        if (next.pixels == last.pixels)
            break;
        last = next;
    }
    return last;
}

char Series(COLORREF c) {
    return c == kCaps ? 'c' : c == kFcFrags ? 'f' : c == kReturns ? 'r' : 0;
}

// The rows holding a chart's value axis at zero: black from the plot's left edge nearly to the right,
// but where the lines of rates at or near zero lie over it.
std::vector<int> AxisRows(const Picture& p) {
    std::vector<int> rows;
    for (int y = 0; y < p.height; ++y) {
        int black = 0;
        int lines = 0;
        for (int x = 0; x < p.width; ++x) {
            black += p.at(x, y) == RGB(0, 0, 0);
            lines += Series(p.at(x, y)) != 0;
        }
        if (black + lines > p.width * 2 / 3 && black > p.width / 8)
            rows.push_back(y);
    }
    return rows;
}

// The series met along one row, left to right, each run once: "cfrcfr..." for grouped bars.
std::string SeriesAlong(const Picture& p, int y) {
    std::string order;
    for (int x = 0; x < p.width; ++x) {
        char s = Series(p.at(x, y));
        if (s && (order.empty() || order.back() != s))
            order += s;
    }
    return order;
}

// Topmost row of a series' colour in a column range, between rows top and bottom; -1 if none.
int TopOf(const Picture& p, COLORREF colour, int x0, int x1, int top, int bottom) {
    for (int y = top; y < bottom; ++y)
        for (int x = std::max(0, x0); x < std::min(p.width, x1); ++x)
            if (p.at(x, y) == colour)
                return y;
    return -1;
}

struct JournalLine {
    std::string time, event, player;
    long count = -1;
};

// The journal's rows after its header, split at their first three commas (the evening's names
// need no quotes).
std::vector<JournalLine> JournalRows() {
    std::vector<JournalLine> rows;
    std::vector<std::string> lines = e2e::file_lines(kJournal);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        JournalLine row;
        std::size_t a = lines[i].find(',');
        std::size_t b = lines[i].find(',', a + 1);
        std::size_t c = lines[i].find(',', b + 1);
        if (c == std::string::npos)
            continue;
        row.time = lines[i].substr(0, a);
        row.event = lines[i].substr(a + 1, b - a - 1);
        row.count = std::strtol(lines[i].substr(b + 1, c - b - 1).c_str(), nullptr, 10);
        row.player = lines[i].substr(c + 1);
        rows.push_back(row);
    }
    return rows;
}

// Seconds since 1970 of a journal time, or -1 when it is not one.
long long JournalInstant(const std::string& t) {
    int y, mo, d, h, mi, s, oh, om;
    char sign;
    if (t.size() != 25 ||
        std::sscanf(t.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &y, &mo, &d, &h, &mi, &s, &sign, &oh,
                    &om) != 9 ||
        (sign != '+' && sign != '-'))
        return -1;
    std::tm utc = {};
    utc.tm_year = y - 1900;
    utc.tm_mon = mo - 1;
    utc.tm_mday = d;
    utc.tm_hour = h;
    utc.tm_min = mi;
    utc.tm_sec = s;
    long long local = static_cast<long long>(_mkgmtime(&utc));
    return local - (sign == '-' ? -1 : 1) * (oh * 3600LL + om * 60LL);
}

// Dark pixels, as text is drawn, in the rows from y on.
int DarkBelow(const Picture& p, int y) {
    int dark = 0;
    for (int row = std::max(0, y); row < p.height; ++row)
        for (int x = 0; x < p.width; ++x) {
            COLORREF c = p.at(x, row);
            dark += GetRValue(c) < 100 && GetGValue(c) < 100 && GetBValue(c) < 100;
        }
    return dark;
}

int SeriesPixels(const Picture& p) {
    int n = 0;
    for (COLORREF c : p.pixels)
        n += Series(c) != 0;
    return n;
}

// The first row of the rate chart's plot: its top grid line, less the half of a point on it.
int RatePlotTop(const Picture& p, const std::vector<int>& axes) {
    int top = axes[0] + 1;
    while (top < axes[1] &&
           std::count(p.pixels.begin() + top * p.width, p.pixels.begin() + (top + 1) * p.width,
                      RGB(225, 225, 225)) < p.width / 2)
        ++top;
    return top - 3;
}

// The bars of one colour standing on the count chart's axis, left to right: their tops.
std::vector<int> BarTops(const Picture& p, const std::vector<int>& axes, COLORREF colour) {
    std::vector<int> tops;
    for (int x = 0; x < p.width; ++x) {
        if (p.at(x, axes[0] - 1) != colour)
            continue;
        int top = axes[0] - 1;
        while (top > 0 && p.at(x, top - 1) == colour)
            --top;
        if (x == 0 || p.at(x - 1, axes[0] - 1) != colour)
            tops.push_back(top);
    }
    return tops;
}

// The window painted again after a change: polls the screen until the test holds.
bool WaitPicture(HWND window, const std::function<bool(const Picture&)>& test, int timeoutMs) {
    return e2e::poll_until([&] { return test(SettledCapture(window)); }, timeoutMs);
}

// The console, once the companion has greeted the player who entered the game, Rex.
Console StartEnteredConsole(const Companion& companion) {
    Console console = StartConsole();
    Enter(console);
    WaitLabel(companion, 40005, "Current Playername:\nRex");
    return console;
}

// The History window, opened and placed where the pictures are taken, width by height.
HWND OpenPlacedHistory(const Companion& companion, int width, int height) {
    HWND history = OpenHistory(companion);
    SetWindowPos(history, HWND_TOP, 20, 20, width, height, SWP_SHOWWINDOW);
    return history;
}

// Waits until both charts are drawn, and returns the settled picture with their axes' rows in *axes.
Picture ChartsPicture(HWND history, std::vector<int>* axes) {
    REQUIRE_TRUE(WaitPicture(
        history, [](const Picture& p) { return AxisRows(p).size() == 2; }, 5000));
    Picture picture = SettledCapture(history);
    *axes = AxisRows(picture);
    REQUIRE_EQ(2, axes->size());
    return picture;
}

} // namespace

SCENARIO(window_opens_once_and_closes_with_escape_or_its_close_box) {
    Companion companion = StartCompanion();
    HWND history = OpenHistory(companion);
    LONG style = GetWindowLongA(history, GWL_STYLE);
    CHECK_TRUE((style & WS_THICKFRAME) != 0);
    CHECK_TRUE((style & WS_CAPTION) == WS_CAPTION);
    CHECK_TRUE(GetParent(history) == nullptr);
    CHECK_TRUE(GetWindow(history, GW_OWNER) == nullptr);

    // Chosen again: the same window, no second one.
    e2e::send_command(companion.window, kHistoryCommand);
    CHECK_EQ(1, HistoryWindows(companion.process.pid));
    CHECK_TRUE(e2e::find_window(kHistoryClass, kHistoryTitle, companion.process.pid) == history);

    PostMessageA(history, WM_KEYDOWN, VK_ESCAPE, 0);
    e2e::wait_no_window(kHistoryClass, kHistoryTitle, 10000, companion.process.pid);
    CHECK_TRUE(IsWindow(companion.window) != FALSE);

    history = OpenHistory(companion);
    PostMessageA(history, WM_SYSCOMMAND, SC_CLOSE, 0);
    e2e::wait_no_window(kHistoryClass, kHistoryTitle, 10000, companion.process.pid);
    CHECK_EQ(0, HistoryWindows(companion.process.pid));
    CHECK_EQ(0, Exit(companion));
}

// An evening with a journal already holding earlier ones: the rows it adds, and the picture.
SCENARIO(after_the_sample_evening) {
    e2e::set_watchdog_ms(10 * 60 * 1000);
    const std::string earlier = EarlierEvenings(6);
    e2e::write_file(kJournal, earlier);
    Companion companion = StartCompanion();
    long long begin = static_cast<long long>(std::time(nullptr));
    std::string args = "--script sample.txt --transcript \"" + e2e::in_workdir("transcript.txt") + "\"";
    e2e::Process console = e2e::start(e2e::program_path("qxconsole"), args);
    CHECK_EQ(0, e2e::wait_exit(console, 8 * 60 * 1000));
    const std::size_t earlierRows = std::count(earlier.begin(), earlier.end(), '\n') - 1;
    e2e::wait_until(
        [earlierRows] {
            std::vector<JournalLine> rows = JournalRows();
            return rows.size() > earlierRows && rows.back().event == "visit";
        },
        15000, "the visit's row");
    long long end = static_cast<long long>(std::time(nullptr));

    std::string journal = e2e::read_file(kJournal).value_or("");
    REQUIRE_EQ(earlier, journal.substr(0, earlier.size()));
    std::vector<JournalLine> rows = JournalRows();
    REQUIRE_EQ(earlierRows + 7, rows.size());
    std::vector<JournalLine> evening(rows.end() - 7, rows.end());
    const struct {
        const char* event;
        long count;
        const char* player;
    } expected[] = {{"fcfrag", 1, "Rex"}, {"return", 1, "Rex"}, {"cap", 1, "Rex"},
                    {"fcfrag", 2, "Rex"}, {"cap", 2, "Rex"},    {"cap", 3, "Rexxar"}};
    long long previous = begin;
    for (int i = 0; i < 6; ++i) {
        CHECK_EQ(expected[i].event, evening[i].event);
        CHECK_EQ(expected[i].count, evening[i].count);
        CHECK_EQ(expected[i].player, evening[i].player);
        long long when = JournalInstant(evening[i].time);
        CHECK_TRUE(when >= previous && when <= end);
        previous = when;
    }
    // The visit lasted the script's three minutes or so, and ended when its row was written.
    CHECK_EQ("Rexxar", evening[6].player);
    CHECK_TRUE(evening[6].count >= 150 && evening[6].count <= end - begin);
    CHECK_TRUE(JournalInstant(evening[6].time) >= previous && JournalInstant(evening[6].time) <= end);
    std::string record = DataRecord();
    REQUIRE_EQ(2080, record.size());
    CHECK_EQ(3, RecordInt(record, 0));
    CHECK_EQ(2, RecordInt(record, 1));
    CHECK_EQ(1, RecordInt(record, 2));
    CHECK_EQ(evening[6].count, RecordInt(record, 7));

    HWND history = OpenPlacedHistory(companion, 760, 560);
    if (e2e::env("E2E_SHOT_DIR")) {
        std::vector<int> axes;
        Picture picture = ChartsPicture(history, &axes);
        e2e::screenshot("history-window");
        // Every day has all three counts: the bars stand in groups of caps, FC frags, returns.
        CHECK_EQ("cfrcfrcfrcfrcfrcfrcfr", SeriesAlong(picture, axes[0] - 1));
        // The rate chart starts at its top grid line, under its title and legend.
        int top = RatePlotTop(picture, axes);
        int first = picture.width;
        int last = 0;
        for (int y = top; y < axes[1]; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (Series(picture.at(x, y))) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        // Tonight's rates lie in the order of the counts: caps over FC frags over returns.
        int yc = TopOf(picture, kCaps, last - 3, last + 1, top, axes[1]);
        int yf = TopOf(picture, kFcFrags, last - 3, last + 1, top, axes[1]);
        int yr = TopOf(picture, kReturns, last - 3, last + 1, top, axes[1]);
        CHECK_TRUE(yc >= 0 && yf > yc && yr > yf);
        // Lines, not only points: each colour is met in most columns from the first day to the last.
        for (COLORREF colour : {kCaps, kFcFrags, kReturns}) {
            int columns = 0;
            for (int x = first; x <= last; ++x)
                columns += TopOf(picture, colour, x, x + 1, top, axes[1]) >= 0;
            CHECK_TRUE(columns > (last - first) * 9 / 10);
        }
    }
    CHECK_EQ(0, Exit(companion));
}

// A journal that cannot be written: the evening goes on as ever, the journal stays as it was.
SCENARIO(read_only_journal_changes_nothing_else) {
    const std::string before = EarlierEvenings(1);
    e2e::write_file(kJournal, before);
    REQUIRE_TRUE(SetFileAttributesA(e2e::in_workdir(kJournal).c_str(), FILE_ATTRIBUTE_READONLY) != FALSE);
    // Wine run as root writes a read-only file all the same; held open by another program that
    // lets others only read it (as a spreadsheet does), it cannot be written here either.
    HANDLE holder = CreateFileA(e2e::in_workdir(kJournal).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE_TRUE(holder != INVALID_HANDLE_VALUE);
    Companion companion = StartCompanion();
    Console console = StartEnteredConsole(companion);
    Print(console, "Rex captured the BLUE flag!");
    Print(console, "Rex returned the BLUE flag!");
    Print(console, "Rex killed RED's flag carrier");
    WaitTyped("say \"I have fragged^7 1^2 flag carriers >:-)\"");
    std::vector<std::string> typed = Typed();
    CHECK_TRUE(std::find(typed.begin(), typed.end(), "say \"I have capped^7 1^2 flags, d00d!\"") !=
               typed.end());
    CHECK_TRUE(std::find(typed.begin(), typed.end(), "say \"I have returned^7 1^2 flags, f00l!\"") !=
               typed.end());
    CHECK_EQ("Num Caps:\n1", Label(companion, 40002));
    CHECK_EQ("Num Returns:\n1", Label(companion, 40004));
    WaitLabel(companion, 40003, "Num FC Frags:\n1");
    // The window opens on what the journal holds.
    OpenHistory(companion);
    e2e::send_copydata(console.window, qxconsole::kCopyClose, "");
    e2e::wait_exit(console.process, 10000);
    e2e::wait_until([] { return DataRecord().size() == 2080; }, 15000, "qxdata.dat to be saved");
    CHECK_EQ(0, Exit(companion));
    std::string record = DataRecord();
    CHECK_EQ(1, RecordInt(record, 0));
    CHECK_EQ(1, RecordInt(record, 1));
    CHECK_EQ(1, RecordInt(record, 2));
    CHECK_TRUE(RecordInt(record, 7) >= 1);
    CloseHandle(holder);
    CHECK_EQ(before, e2e::read_file(kJournal).value_or(""));
    SetFileAttributesA(e2e::in_workdir(kJournal).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The window while open: nothing to show, then a row written beside it, then a broken one.
SCENARIO(window_follows_the_journal) {
    Companion companion = StartCompanion();
    HWND history = OpenHistory(companion);
    SetWindowPos(history, HWND_TOP, 20, 20, 600, 420, SWP_SHOWWINDOW);
    if (!e2e::env("E2E_SHOT_DIR")) {
        CHECK_EQ(0, Exit(companion));
        return;
    }
    // "No games recorded yet": some text, no chart.
    REQUIRE_TRUE(WaitPicture(
        history, [](const Picture& p) { return p.at(2, 2) == RGB(255, 255, 255); }, 5000));
    Picture empty = SettledCapture(history);
    CHECK_TRUE(DarkBelow(empty, 0) > 0);
    CHECK_EQ(0, SeriesPixels(empty));
    CHECK_EQ(0, AxisRows(empty).size());
    e2e::screenshot("history-empty");

    // Rows of today only, also just after midnight: one day, with rates above zero.
    std::time_t now = std::time(nullptr);
    std::time_t from = std::max(now - 900, NoonDaysAgo(0) - 12 * 3600);
    std::time_t step = (now - from) / 3;
    std::string rows = std::string(kHeader) + "\r\n" + JournalTime(from) + ",cap,1,Rex\r\n" +
                       JournalTime(from + step) + ",fcfrag,1,Rex\r\n" + JournalTime(from + 2 * step) +
                       ",return,1,Rex\r\n" + JournalTime(now) + ",visit," +
                       std::to_string(std::max<long long>(1, now - from)) + ",Rex\r\n";
    // The window looks at the journal once a second: what is written shows within two.
    const DWORD kShowsWithinMs = 2000;
    DWORD start = GetTickCount();
    e2e::write_file(kJournal, rows);
    auto charted = [](const Picture& p) {
        std::vector<int> axes = AxisRows(p);
        return axes.size() == 2 && SeriesAlong(p, axes[0] - 1) == "cfr";
    };
    REQUIRE_TRUE(WaitPicture(history, charted, 10000));
    DWORD rowsShowedMs = GetTickCount() - start;
    e2e::note("the new rows showed after " + std::to_string(rowsShowedMs) + " ms");
    CHECK_TRUE(rowsShowedMs <= kShowsWithinMs);
    Picture whole = SettledCapture(history);
    // Nothing under the dates of the rate chart while every row can be read.
    CHECK_EQ(0, DarkBelow(whole, AxisRows(whole)[1] + 22));

    start = GetTickCount();
    e2e::write_file(kJournal, rows + "2024-13-01T00:00:00+00:00,cap,2,Rex\r\n");
    CHECK_TRUE(WaitPicture(
        history,
        [](const Picture& p) {
            std::vector<int> axes = AxisRows(p);
            return axes.size() == 2 && DarkBelow(p, axes[1] + 22) > 0;
        },
        10000));
    DWORD brokenShowedMs = GetTickCount() - start;
    e2e::note("the unreadable row showed after " + std::to_string(brokenShowedMs) + " ms");
    CHECK_TRUE(brokenShowedMs <= kShowsWithinMs);
    e2e::screenshot("history-unreadable");
    CHECK_EQ(0, Exit(companion));
}

// The visit going on is today's time while the window is open: today's rates stand above zero,
// and they move on with no new row.
SCENARIO(window_counts_the_visit_going_on) {
    Companion companion = StartCompanion();
    Console console = StartEnteredConsole(companion);
    Print(console, "Rex captured the BLUE flag!");
    e2e::wait_until([] { return JournalRows().size() == 1; }, 15000, "the capture's row");
    const std::string journal = e2e::read_file(kJournal).value_or("");
    HWND history = OpenPlacedHistory(companion, 600, 420);
    if (e2e::env("E2E_SHOT_DIR")) {
        std::vector<int> axes;
        Picture first = ChartsPicture(history, &axes);
        // One cap in the seconds of the visit so far: its rate point stands clear of the zero line.
        CHECK_TRUE(TopOf(first, kCaps, 0, first.width, RatePlotTop(first, axes), axes[1] - 4) >= 0);
        e2e::screenshot("history-visit-going-on");
        CHECK_TRUE(WaitPicture(
            history, [&first](const Picture& p) { return p.pixels != first.pixels; }, 5000));
    }
    CHECK_EQ(journal, e2e::read_file(kJournal).value_or(""));
    CHECK_EQ(0, Exit(companion));
}

// Five hours west of UTC (the scenario's TZ): the companion writes its rows there at their instant,
// and the window reads rows written there on their own days, leaving out one more than a day ahead.
SCENARIO(journal_west_of_utc_reads_on_its_own_days) {
    std::time_t now = std::time(nullptr);
    REQUIRE_EQ(std::string("-05:00"), JournalTime(now).substr(19));
    // Yesterday's evening from 21:30 there, which is today in UTC; then a row a day and more ahead.
    std::time_t evening = NoonDaysAgo(1) + 9 * 3600 + 1800;
    e2e::write_file(kJournal, std::string(kHeader) + "\r\n" + JournalTime(evening) + ",cap,1,Rex\r\n" +
                                  JournalTime(evening + 60) + ",cap,2,Rex\r\n" + JournalTime(evening + 120) +
                                  ",fcfrag,1,Rex\r\n" + JournalTime(evening + 180) + ",return,1,Rex\r\n" +
                                  JournalTime(evening + 1800) + ",visit,1800,Rex\r\n" +
                                  JournalTime(now + 26 * 3600) + ",return,2,Rex\r\n");
    Companion companion = StartCompanion();
    Console console = StartEnteredConsole(companion);
    long long begin = static_cast<long long>(std::time(nullptr));
    Print(console, "Rex captured the BLUE flag!");
    e2e::wait_until([] { return JournalRows().size() == 7; }, 15000, "the capture's row");
    JournalLine row = JournalRows().back();
    CHECK_EQ("cap", row.event);
    CHECK_EQ(std::string("-05:00"), row.time.substr(19));
    long long when = JournalInstant(row.time);
    CHECK_TRUE(when >= begin && when <= static_cast<long long>(std::time(nullptr)));

    HWND history = OpenPlacedHistory(companion, 600, 420);
    if (e2e::env("E2E_SHOT_DIR")) {
        std::vector<int> axes;
        Picture picture = ChartsPicture(history, &axes);
        // Yesterday's two caps, then today's one; no day ahead with its return.
        std::vector<int> caps = BarTops(picture, axes, kCaps);
        REQUIRE_EQ(2, caps.size());
        CHECK_TRUE(axes[0] - caps[0] > axes[0] - caps[1] + 10);
        CHECK_EQ(1, BarTops(picture, axes, kReturns).size());
        // The row ahead is an unreadable one, told under the charts.
        CHECK_TRUE(DarkBelow(picture, axes[1] + 22) > 0);
        e2e::screenshot("history-west-of-utc");
    }
    CHECK_EQ(0, Exit(companion));
}
