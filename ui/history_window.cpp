// The History window: today's and the lifetime numbers, then the last 30 days that have rows as
// grouped bars of the counts and as lines of the rates per 20-minute game. It follows the journal
// while open. Everything is painted into a memory bitmap first, so nothing flickers.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "history/history.h"
#include "history/journal.h"
#include "monitor/monitor.h"
#include "support/tracker_state.h"
#include "ui/history_window.h"
#include "ui/resource.h"

namespace {

constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowMs = 1000;
constexpr int kSeriesCount = 3;
constexpr int kMargin = 10;

const COLORREF kSeriesColours[kSeriesCount] = {RGB(220, 40, 40), RGB(40, 90, 220), RGB(30, 160, 60)};
const char* const kSeriesNames[kSeriesCount] = {"Caps", "FC frags", "Returns"};
const COLORREF kGridColour = RGB(225, 225, 225);
const COLORREF kInkColour = RGB(0, 0, 0);
const COLORREF kPaperColour = RGB(255, 255, 255);

struct HistoryView {
    HWND window;
    HFONT font;
    HFONT boldFont;
    JournalFollower journal;
    History history; // as shown: the journal's rows and the visit going on
    LifetimeTotals lifetime;
};

HistoryView view;

bool SameDay(const HistoryDay& a, const HistoryDay& b) {
    return a.day == b.day && a.caps == b.caps && a.fcFrags == b.fcFrags && a.returns == b.returns &&
           a.seconds == b.seconds;
}

bool SameHistory(const History& a, const History& b) {
    return a.rows == b.rows && a.unreadable == b.unreadable && SameDay(a.today, b.today) &&
           std::equal(a.days.begin(), a.days.end(), b.days.begin(), b.days.end(), SameDay);
}

bool SameLifetime(const LifetimeTotals& a, const LifetimeTotals& b) {
    return a.caps == b.caps && a.fcFrags == b.fcFrags && a.returns == b.returns && a.seconds == b.seconds;
}

// Reads what was appended to the journal, and adds the visit going on to today and to the lifetime
// figures; true when there is something new to show (a row, midnight, another minute of the visit).
bool Refresh() {
    std::int64_t now = DeskTime();
    std::int32_t offset = 0;
    bool clock = now >= 0;
    if (!clock)
        now = std::int64_t{1} << 40; // no clock: no row is too far ahead, and no day is today
    else if (!DeskUtcOffset(now, &offset))
        offset = 0;
    // The stored total before the visit: the monitor ends a visit by taking its row and only then
    // adding its seconds to the total, so the visit is never counted twice.
    LifetimeTotals lifetime = {Tracker.CapsCount.load(), Tracker.FcFragCount.load(),
                               Tracker.ReturnsCount.load(), Tracker.TotalSeconds.load()};
    FollowJournal(&view.journal, now);
    History history;
    FollowedHistory(view.journal, now, offset, &history);
    // Asked after the journal was read: a visit still going on now had no row in what was read.
    std::int32_t visit = 0;
    if (clock && VisitSoFar(&visit)) {
        AddVisitSoFar(visit, now, offset, &history);
        lifetime.seconds += visit;
    }
    bool changed = !SameHistory(history, view.history) || !SameLifetime(lifetime, view.lifetime);
    view.history = std::move(history);
    view.lifetime = lifetime;
    return changed;
}

double SeriesValue(const HistoryDay& d, int series, bool rates) {
    std::int64_t counts[kSeriesCount] = {d.caps, d.fcFrags, d.returns};
    return rates ? RatePer20Minutes(counts[series], d.seconds) : static_cast<double>(counts[series]);
}

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    RECT box = {left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void Text(HDC dc, int x, int y, const char* text, UINT align) {
    SetTextAlign(dc, align);
    TextOutA(dc, x, y, text, static_cast<int>(lstrlenA(text)));
}

int TextWidth(HDC dc, const char* text) {
    SIZE size = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    return size.cx;
}

// The legend, right-aligned on the title's line: a swatch and a name for each series, in order.
void DrawLegend(HDC dc, int right, int y, int lineHeight) {
    int width = 0;
    for (const char* name : kSeriesNames)
        width += lineHeight + 4 + TextWidth(dc, name) + 12;
    int x = right - width + 12;
    for (int s = 0; s < kSeriesCount; ++s) {
        Fill(dc, x, y + 2, x + lineHeight - 4, y + lineHeight - 2, kSeriesColours[s]);
        x += lineHeight;
        Text(dc, x, y, kSeriesNames[s], TA_LEFT | TA_TOP);
        x += TextWidth(dc, kSeriesNames[s]) + 12;
    }
}

// One chart in box: a title and legend, a value axis with ticks and grid lines, a date under every
// few days, and the days' values as grouped bars or as lines.
void DrawChart(HDC dc, const RECT& box, const char* title, bool rates, int lineHeight) {
    const std::vector<HistoryDay>& days = view.history.days;
    SelectObject(dc, view.boldFont);
    Text(dc, box.left, box.top, title, TA_LEFT | TA_TOP);
    SelectObject(dc, view.font);
    DrawLegend(dc, box.right, box.top, lineHeight);

    double maxValue = 0;
    for (const HistoryDay& d : days) {
        for (int s = 0; s < kSeriesCount; ++s)
            maxValue = std::max(maxValue, SeriesValue(d, s, rates));
    }
    int plotTop = box.top + lineHeight + 8;
    int plotBottom = box.bottom - lineHeight - 4;
    int maxTicks = std::max(1, std::min(6, (plotBottom - plotTop) / (2 * lineHeight)));
    AxisScale axis = ChooseAxis(maxValue, maxTicks, !rates);

    char label[32];
    int labelWidth = 0;
    for (int t = 0; t <= axis.ticks; ++t) {
        FormatAxisValue(axis.step * t, axis.step, label, sizeof label);
        labelWidth = std::max(labelWidth, TextWidth(dc, label));
    }
    int plotLeft = box.left + labelWidth + 8;
    int plotRight = box.right;
    if (plotRight - plotLeft < 10 || plotBottom - plotTop < 10)
        return;
    int plotHeight = plotBottom - plotTop;
    auto yOf = [&](double value) {
        return plotBottom - static_cast<int>(value / axis.top * plotHeight + 0.5);
    };

    HPEN gridPen = CreatePen(PS_SOLID, 1, kGridColour);
    HPEN inkPen = CreatePen(PS_SOLID, 1, kInkColour);
    HGDIOBJ oldPen = SelectObject(dc, gridPen);
    for (int t = 0; t <= axis.ticks; ++t) {
        int y = yOf(axis.step * t);
        SelectObject(dc, t == 0 ? inkPen : gridPen);
        Line(dc, plotLeft, y, plotRight, y);
        SelectObject(dc, inkPen);
        Line(dc, plotLeft - 4, y, plotLeft, y);
        FormatAxisValue(axis.step * t, axis.step, label, sizeof label);
        Text(dc, plotLeft - 6, y - lineHeight / 2, label, TA_RIGHT | TA_TOP);
    }
    SelectObject(dc, inkPen);
    Line(dc, plotLeft, plotTop, plotLeft, plotBottom + 1);

    int n = static_cast<int>(days.size());
    int slot = (plotRight - plotLeft) / n;
    int every = LabelEvery(slot, TextWidth(dc, "May 31") + 8);
    auto xOf = [&](int i) { return plotLeft + slot * i + slot / 2; };
    for (int i = 0; i < n; ++i) {
        // The latest day always has its date.
        if ((n - 1 - i) % every != 0)
            continue;
        FormatDayLabel(days[i].day, label, sizeof label);
        Line(dc, xOf(i), plotBottom, xOf(i), plotBottom + 4);
        Text(dc, xOf(i), plotBottom + 4, label, TA_CENTER | TA_TOP);
    }

    if (!rates) {
        int bar = std::max(1, slot * 3 / 4 / kSeriesCount);
        for (int i = 0; i < n; ++i) {
            int left = xOf(i) - bar * kSeriesCount / 2;
            for (int s = 0; s < kSeriesCount; ++s) {
                int top = yOf(SeriesValue(days[i], s, false));
                if (top < plotBottom)
                    Fill(dc, left + s * bar, top, left + (s + 1) * bar, plotBottom, kSeriesColours[s]);
            }
        }
    } else {
        for (int s = 0; s < kSeriesCount; ++s) {
            HPEN pen = CreatePen(PS_SOLID, 2, kSeriesColours[s]);
            SelectObject(dc, pen);
            for (int i = 0; i < n; ++i) {
                int x = xOf(i);
                int y = yOf(SeriesValue(days[i], s, true));
                if (i == 0)
                    MoveToEx(dc, x, y, nullptr);
                else
                    LineTo(dc, x, y);
            }
            for (int i = 0; i < n; ++i) {
                int x = xOf(i);
                int y = yOf(SeriesValue(days[i], s, true));
                Fill(dc, x - 2, y - 2, x + 3, y + 3, kSeriesColours[s]);
            }
            SelectObject(dc, inkPen);
            DeleteObject(pen);
        }
    }
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(inkPen);
}

void Draw(HDC dc, const RECT& client) {
    Fill(dc, client.left, client.top, client.right, client.bottom, kPaperColour);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kInkColour);
    HGDIOBJ oldFont = SelectObject(dc, view.font);
    // The height of a line of text, measured without GetTextMetrics, which 32-bit programs under
    // Wine's wow64 cannot call.
    SIZE sample = {};
    GetTextExtentPoint32A(dc, "Ag", 2, &sample);
    int lineHeight = sample.cy > 0 ? sample.cy : 13;

    char text[256];
    FormatHistorySummary(view.history.today, view.lifetime, text, sizeof text);
    Text(dc, client.left + kMargin, client.top + kMargin, text, TA_LEFT | TA_TOP);

    int top = client.top + kMargin + lineHeight + kMargin;
    int bottom = client.bottom - kMargin;
    FormatUnreadable(view.history.unreadable, text, sizeof text);
    if (text[0]) {
        Text(dc, client.left + kMargin, bottom - lineHeight, text, TA_LEFT | TA_TOP);
        bottom -= lineHeight + kMargin / 2;
    }
    if (view.history.days.empty()) {
        Text(dc, (client.left + client.right) / 2, (top + bottom - lineHeight) / 2, "No games recorded yet",
             TA_CENTER | TA_TOP);
    } else {
        int middle = (top + bottom) / 2;
        RECT counts = {client.left + kMargin, top, client.right - kMargin, middle - kMargin / 2};
        RECT rates = {client.left + kMargin, middle + kMargin / 2, client.right - kMargin, bottom};
        DrawChart(dc, counts, "Per day", false, lineHeight);
        DrawChart(dc, rates, "Per 20-minute game", true, lineHeight);
    }
    SelectObject(dc, oldFont);
}

LRESULT MsgPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client = {};
    GetClientRect(window, &client);
    int width = std::max(1L, client.right - client.left);
    int height = std::max(1L, client.bottom - client.top);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        Draw(memory, client);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    } else {
        Draw(dc, client); // no memory for a second picture: drawn straight, flicker and all
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    EndPaint(window, &paint);
    return 0;
}

LRESULT MsgCreate(HWND window) {
    view.window = window;
    view.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTA bold = {};
    GetObjectA(view.font, sizeof bold, &bold);
    bold.lfWeight = FW_BOLD;
    view.boldFont = CreateFontIndirectA(&bold);
    if (!view.boldFont)
        view.boldFont = view.font;
    Refresh();
    SetTimer(window, kFollowTimer, kFollowMs, nullptr);
    return 0;
}

LRESULT MsgDestroy(HWND window) {
    KillTimer(window, kFollowTimer);
    if (view.boldFont && view.boldFont != view.font)
        DeleteObject(view.boldFont);
    view = HistoryView();
    return 0;
}

LRESULT CALLBACK HistoryWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return MsgCreate(window);
    case WM_DESTROY: return MsgDestroy(window);
    case WM_PAINT: return MsgPaint(window);
    case WM_ERASEBKGND: return 1;
    case WM_SIZE: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_TIMER:
        if (wParam == kFollowTimer && Refresh())
            InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_GETMINMAXINFO: {
        MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize.x = 420;
        limits->ptMinTrackSize.y = 320;
        return 0;
    }
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

void ShowHistoryWindow(HINSTANCE instance) {
    if (view.window && IsWindow(view.window)) {
        if (IsIconic(view.window))
            ShowWindow(view.window, SW_RESTORE);
        SetForegroundWindow(view.window);
        return;
    }
    WNDCLASSEXA windowClass = {};
    if (!GetClassInfoExA(instance, kHistoryWindowClass, &windowClass)) {
        windowClass = WNDCLASSEXA{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = HistoryWindowProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUORVEX));
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
        windowClass.lpszClassName = kHistoryWindowClass;
        if (!RegisterClassExA(&windowClass))
            return;
    }
    HWND window =
        CreateWindowExA(0, kHistoryWindowClass, kHistoryWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 760, 560, nullptr, nullptr, instance, nullptr);
    if (!window)
        return;
    ShowWindow(window, SW_SHOW);
    // Painted before the menu command returns, so the first picture never waits for the queue.
    UpdateWindow(window);
    SetForegroundWindow(window);
}
