// The Response Strings dialog of the real quorvex.exe, and the resources it and the window are
// made from, read from the exe itself.
#include "tests/e2e/companion_world.h"

#include <cstring>

using namespace world;

namespace {

const char kCapsDefault[] = "I have capped^7 %d^2 flags, d00d!";
const char kFcDefault[] = "I have fragged^7 %d^2 flag carriers >:-)";
const char kReturnsDefault[] = "I have returned^7 %d^2 flags, f00l!";
const char kNowPlayingDefault[] = "Now Playing:^7 %s";

HWND OpenDialog(const Companion& companion) {
    // Posted: the dialog runs modally inside the handler.
    e2e::post_command(companion.window, 9002);
    HWND dialog = e2e::wait_window("#32770", "Response Strings", 15000, companion.process.pid);
    e2e::wait_until([dialog] { return e2e::children(dialog).size() >= 10; }, 10000, "the dialog's controls");
    return dialog;
}

std::string Field(HWND dialog, int id) {
    return e2e::get_text(e2e::child_by_id(dialog, id));
}

std::wstring ReadWide(const unsigned char*& p) {
    std::wstring s;
    const wchar_t* w = reinterpret_cast<const wchar_t*>(p);
    while (*w)
        s += *w++;
    p = reinterpret_cast<const unsigned char*>(w + 1);
    return s;
}

std::string Narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}

template <typename T> T Read(const unsigned char*& p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    p += sizeof value;
    return value;
}

void AlignDword(const unsigned char*& p, const unsigned char* base) {
    while ((p - base) % 4)
        ++p;
}

} // namespace

SCENARIO(response_dialog_shows_the_slots_and_ok_saves_them) {
    Companion companion = StartCompanion();
    HWND dialog = OpenDialog(companion);
    const int order[] = {1001, 1002, 1003, 1004, 1005, 1006, 1009, 1010, 1007, 1008};
    std::vector<HWND> kids = e2e::children(dialog);
    REQUIRE_EQ(10, kids.size());
    for (int i = 0; i < 10; ++i)
        CHECK_EQ(order[i], GetDlgCtrlID(kids[i]));
    CHECK_EQ("Capped:", Field(dialog, 1001));
    CHECK_EQ("Killled Flag Carrier:", Field(dialog, 1003));
    CHECK_EQ("Returned The Flag:", Field(dialog, 1005));
    CHECK_EQ("Now Playing:", Field(dialog, 1009));
    CHECK_EQ("Ok", Field(dialog, 1007));
    CHECK_EQ("Cancel", Field(dialog, 1008));
    CHECK_EQ(kCapsDefault, Field(dialog, 1002));
    CHECK_EQ(kFcDefault, Field(dialog, 1004));
    CHECK_EQ(kReturnsDefault, Field(dialog, 1006));
    CHECK_EQ(kNowPlayingDefault, Field(dialog, 1010));
    CHECK_TRUE(!IsWindowEnabled(companion.window)); // owner of a modal dialog

    e2e::set_text(e2e::child_by_id(dialog, 1002), "caps %d!");
    e2e::click(e2e::child_by_id(dialog, 1007));
    e2e::wait_no_window("#32770", "Response Strings", 10000, companion.process.pid);
    std::string record = DataRecord();
    REQUIRE_EQ(2080, record.size());
    // Only the new text and its terminator changed: the old default's tail stays behind it.
    std::string caps = record.substr(32 + 512, 512);
    CHECK_EQ(std::string("caps %d!\0", 9), caps.substr(0, 9));
    CHECK_EQ(std::string(kCapsDefault).substr(9), caps.substr(9, std::strlen(kCapsDefault) - 9));
    CHECK_EQ(kFcDefault, RecordSlot(record, 0));

    // The next announcement uses it.
    Console console = StartConsole();
    Print(console, "\"name\" is:\"Rex\"");
    WaitLabel(companion, 40005, "Current Playername:\nRex");
    Print(console, "Rex captured the BLUE flag!");
    WaitTyped("say \"caps 1!\"");
    CHECK_EQ(0, Exit(companion));
}

SCENARIO(response_dialog_cancel_enter_and_escape) {
    Companion companion = StartCompanion();
    HWND dialog = OpenDialog(companion);
    e2e::set_text(e2e::child_by_id(dialog, 1004), "changed");
    // Enter in a field and Escape reach the dialog as IDOK and IDCANCEL: they do nothing.
    e2e::send_command(dialog, IDOK);
    e2e::send_command(dialog, IDCANCEL);
    CHECK_TRUE(IsWindow(dialog));
    CHECK_TRUE(!e2e::file_exists("qxdata.dat"));
    e2e::click(e2e::child_by_id(dialog, 1008));
    e2e::wait_no_window("#32770", "Response Strings", 10000, companion.process.pid);
    CHECK_TRUE(!e2e::file_exists("qxdata.dat"));
    CHECK_EQ(0, Exit(companion));
    CHECK_EQ(kFcDefault, RecordSlot(DataRecord(), 0));
}

SCENARIO(response_dialog_cleared_field_comes_back_with_its_default) {
    Companion companion = StartCompanion();
    HWND dialog = OpenDialog(companion);
    e2e::set_text(e2e::child_by_id(dialog, 1006), "");
    e2e::click(e2e::child_by_id(dialog, 1007));
    e2e::wait_no_window("#32770", "Response Strings", 10000, companion.process.pid);
    std::string record = DataRecord();
    REQUIRE_EQ(2080, record.size());
    CHECK_EQ(0, record[32 + 2 * 512]);
    CHECK_EQ(0, Exit(companion));
    CHECK_EQ("", RecordSlot(DataRecord(), 2));

    Companion again = StartCompanion();
    dialog = OpenDialog(again);
    CHECK_EQ(kReturnsDefault, Field(dialog, 1006));
    e2e::screenshot("response-strings");
    e2e::click(e2e::child_by_id(dialog, 1008));
    CHECK_EQ(0, Exit(again));
}

SCENARIO(resources_of_the_exe) {
    std::string exe = e2e::program_path("quorvex");
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE_TRUE(module != nullptr);

    // Dialog 1000, byte for byte as the template holds it.
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1000), MAKEINTRESOURCEA(5));
    REQUIRE_TRUE(found != nullptr);
    const unsigned char* base = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    const unsigned char* p = base;
    CHECK_EQ(1, Read<WORD>(p));
    CHECK_EQ(0xFFFF, Read<WORD>(p));
    Read<DWORD>(p); // help id
    CHECK_EQ(0u, Read<DWORD>(p));
    CHECK_EQ(0x00C00040u, Read<DWORD>(p));
    CHECK_EQ(10, Read<WORD>(p));
    CHECK_EQ(6, Read<short>(p));
    CHECK_EQ(6, Read<short>(p));
    CHECK_EQ(193, Read<short>(p));
    CHECK_EQ(132, Read<short>(p));
    CHECK_EQ(0, Read<WORD>(p)); // no menu
    CHECK_EQ(0, Read<WORD>(p)); // the standard dialog class
    CHECK_EQ("Response Strings", Narrow(ReadWide(p)));
    CHECK_EQ(8, Read<WORD>(p));
    CHECK_EQ(0, Read<WORD>(p));
    CHECK_EQ(0, Read<BYTE>(p));
    CHECK_EQ(1, Read<BYTE>(p));
    CHECK_EQ("MS Sans Serif", Narrow(ReadWide(p)));
    struct Item {
        DWORD exStyle, style;
        short x, y, cx, cy;
        DWORD id;
        const char* cls;
        const char* text;
    } items[] = {
        {0, 0x50000000, 4, 1, 28, 9, 1001, "Static", "Capped:"},
        {0x200, 0x50010000, 4, 11, 184, 11, 1002, "Edit", ""},
        {0, 0x50000000, 4, 27, 60, 9, 1003, "Static", "Killled Flag Carrier:"},
        {0x200, 0x50010000, 4, 38, 184, 11, 1004, "Edit", ""},
        {0, 0x50000000, 4, 55, 62, 9, 1005, "Static", "Returned The Flag:"},
        {0x200, 0x50010000, 4, 66, 184, 11, 1006, "Edit", ""},
        {0, 0x50000000, 4, 83, 62, 9, 1009, "Static", "Now Playing:"},
        {0x200, 0x50010000, 4, 93, 184, 11, 1010, "Edit", ""},
        {0, 0x50010000, 32, 113, 52, 13, 1007, "Button", "Ok"},
        {0, 0x50010000, 108, 113, 52, 13, 1008, "Button", "Cancel"},
    };
    for (const Item& item : items) {
        AlignDword(p, base);
        Read<DWORD>(p); // help id
        CHECK_EQ(item.exStyle, Read<DWORD>(p));
        CHECK_EQ(item.style, Read<DWORD>(p));
        CHECK_EQ(item.x, Read<short>(p));
        CHECK_EQ(item.y, Read<short>(p));
        CHECK_EQ(item.cx, Read<short>(p));
        CHECK_EQ(item.cy, Read<short>(p));
        CHECK_EQ(item.id, Read<DWORD>(p));
        // The class is a predefined atom or its name; both make the same control.
        if (*reinterpret_cast<const WORD*>(p) == 0xFFFF) {
            p += 2;
            WORD atom = Read<WORD>(p);
            CHECK_EQ(std::string(item.cls), atom == 0x80   ? "Button"
                                            : atom == 0x81 ? "Edit"
                                            : atom == 0x82 ? "Static"
                                                           : "?");
        } else {
            std::string cls = Narrow(ReadWide(p));
            CHECK_TRUE(_stricmp(cls.c_str(), item.cls) == 0);
        }
        if (*reinterpret_cast<const WORD*>(p) == 0xFFFF) {
            p += 4;
            CHECK_EQ(item.text, "");
        } else {
            CHECK_EQ(item.text, Narrow(ReadWide(p)));
        }
        CHECK_EQ(0, Read<WORD>(p)); // no creation data
    }

    // Menu 101.
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(101));
    REQUIRE_TRUE(menu != nullptr);
    CHECK_EQ(3, GetMenuItemCount(menu));
    struct Entry {
        int popup;
        int position;
        int id;
        const char* text;
    } entries[] = {
        {0, 0, 9003, "&Power"},
        {0, 1, 9004, "&Silent"},
        {0, 2, 9005, "&Echo"},
        {0, 3, 0, ""},
        {0, 4, 9006, "&Winamp"},
        {0, 5, 9007, "W&MP"},
        {0, 6, 9009, "&Other player"},
        {0, 7, 0, ""},
        {0, 8, 9010, "&Start game..."},
        {0, 9, 9011, "C&hoose game..."},
        {0, 10, 0, ""},
        {0, 11, 9001, "E&xit"},
        {1, 0, 9002, "&Response strings"},
        {2, 0, 9008, "&History..."},
    };
    char text[64];
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    CHECK_EQ("&File", std::string(text));
    GetMenuStringA(menu, 1, text, sizeof text, MF_BYPOSITION);
    CHECK_EQ("&Edit", std::string(text));
    GetMenuStringA(menu, 2, text, sizeof text, MF_BYPOSITION);
    CHECK_EQ("&View", std::string(text));
    CHECK_EQ(12, GetMenuItemCount(GetSubMenu(menu, 0)));
    for (const Entry& e : entries) {
        HMENU sub = GetSubMenu(menu, e.popup);
        text[0] = '\0';
        GetMenuStringA(sub, e.position, text, sizeof text, MF_BYPOSITION);
        CHECK_EQ(e.text, std::string(text));
        UINT state = GetMenuState(sub, e.position, MF_BYPOSITION);
        if (e.id == 0) {
            CHECK_TRUE((state & MF_SEPARATOR) != 0);
        } else {
            CHECK_EQ(e.id, static_cast<int>(GetMenuItemID(sub, e.position)));
            CHECK_EQ(0u, state & (MF_CHECKED | MF_GRAYED | MF_DISABLED));
        }
    }

    // The icon group holds nine images; the bitmap is 298 x 161, 8 bits, run-length compressed.
    found = FindResourceA(module, MAKEINTRESOURCEA(201), MAKEINTRESOURCEA(14));
    REQUIRE_TRUE(found != nullptr);
    const unsigned char* group = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    CHECK_EQ(9, *reinterpret_cast<const WORD*>(group + 4));
    found = FindResourceA(module, MAKEINTRESOURCEA(202), MAKEINTRESOURCEA(2));
    REQUIRE_TRUE(found != nullptr);
    const BITMAPINFOHEADER* bitmap =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
    CHECK_EQ(298, bitmap->biWidth);
    CHECK_EQ(161, bitmap->biHeight);
    CHECK_EQ(8, bitmap->biBitCount);
    CHECK_EQ(static_cast<DWORD>(BI_RLE8), bitmap->biCompression);

    // The manifest of this build asks for the common controls of its own architecture.
    found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    REQUIRE_TRUE(found != nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                         SizeofResource(module, found));
    CHECK_CONTAINS(manifest, "Microsoft.Windows.Common-Controls");
    CHECK_CONTAINS(manifest, "version=\"6.0.0.0\"");
    CHECK_CONTAINS(manifest, "processorArchitecture=\"" + ManifestArchitecture(exe) + "\"");
    CHECK_TRUE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)) != nullptr); // VERSIONINFO
    FreeLibrary(module);
}
