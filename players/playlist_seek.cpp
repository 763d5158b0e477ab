#include <cstddef>
#include <cstring>

#include "players/player_windows.h"
#include "players/players.h"
#include "support/string_helpers.h"

namespace {

// Query information, memory operation, memory read, memory write.
constexpr std::uint32_t kSeekAccess = 0x438;
// The playlist list view is the first child of the first child ... five levels below the main window.
constexpr int kListViewDepth = 5;
constexpr std::size_t kItemTextSize = 512;

// LVITEMA up to lParam, as the list view's process lays it out. With 32-bit pointers it is nine
// 4-byte fields; with 64-bit ones pszText is aligned to 24 and lParam ends at 48.
struct ItemLayout {
    std::size_t size;
    std::size_t textOffset;
    std::size_t textPointerSize;
    std::size_t textMaxOffset;
};
constexpr ItemLayout kItemLayout32 = {36, 20, 4, 24};
constexpr ItemLayout kItemLayout64 = {48, 24, 8, 32};
constexpr std::size_t kItemRecordMax = 48;

void PutLittleEndian(unsigned char* at, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Asks for the first column (iSubItem 0) into the text block; the list view reads no other field.
void BuildItemRecord(unsigned char* record, const ItemLayout& layout, RemoteAddress textBlock) {
    std::memset(record, 0, kItemRecordMax);
    PutLittleEndian(record + layout.textOffset, textBlock, layout.textPointerSize);
    PutLittleEndian(record + layout.textMaxOffset, kItemTextSize, 4);
}

struct PlaylistScan {
    WindowHandle list;
    std::int32_t count;
    ProcessHandle process;
    RemoteAddress recordBlock;
    RemoteAddress textBlock;
    const ItemLayout* layout;
    const char* currentTitle;
    const char* query;
    std::int32_t current; // the entry now playing
    std::int32_t target;  // the first entry containing the query
};

// Reads entries until both the entry now playing and the first match are known.
void ScanPlaylist(PlaylistScan& scan) {
    unsigned char record[kItemRecordMax];
    BuildItemRecord(record, *scan.layout, scan.textBlock);
    // One byte more than the list view may fill, so a text without terminator still ends here.
    char itemText[kItemTextSize + 1];
    for (std::int32_t i = 0; i < scan.count; ++i) {
        // Written anew for every entry: the list view may change the record while answering.
        if (!DeskRemoteWrite(scan.process, scan.recordBlock, record, scan.layout->size))
            return;
        DeskSendMessage(scan.list, kLvmGetItemTextA, static_cast<std::uintptr_t>(i),
                        static_cast<std::intptr_t>(scan.recordBlock));
        if (!DeskRemoteRead(scan.process, scan.textBlock, itemText, kItemTextSize))
            return;
        itemText[kItemTextSize] = '\0';

        if (scan.current < 0 && std::strcmp(itemText, scan.currentTitle) == 0) {
            scan.current = i;
            if (scan.target >= 0)
                return;
        } else if (scan.target >= 0) {
            continue;
        }
        if (FindNoCase(itemText, scan.query) >= 0) {
            scan.target = i;
            if (scan.current >= 0)
                return;
        }
    }
}

} // namespace

void WmpPlaylistSeek(WindowHandle player, const char* query) {
    PlaylistScan scan = {};
    scan.query = query ? query : "";
    scan.current = -1;
    scan.target = -1;
    scan.list = player;
    for (int depth = 0; depth < kListViewDepth && scan.list; ++depth)
        scan.list = DeskGetWindow(scan.list, kGwChild);
    scan.count = static_cast<std::int32_t>(SendToWindow(scan.list, kLvmGetItemCount, 0, 0));

    scan.process = scan.list ? DeskOpenProcess(kSeekAccess, DeskGetWindowProcessId(scan.list)) : 0;
    if (!scan.process)
        return;
    // The record must match the pointer width of the list view's process, not of this program. A
    // record of the wrong width hands the list view a text address made of other fields, where it
    // would write the entry's text, so a width that cannot be told reads nothing.
    ProcessWidth width = DeskProcessWidth(scan.process);
    if (width == ProcessWidth::Unknown) {
        DeskCloseProcess(scan.process);
        return;
    }
    scan.layout = width == ProcessWidth::Bits64 ? &kItemLayout64 : &kItemLayout32;
    scan.recordBlock = DeskRemoteAlloc(scan.process, scan.layout->size);
    scan.textBlock = scan.recordBlock ? DeskRemoteAlloc(scan.process, kItemTextSize) : 0;

    if (scan.textBlock) {
        char currentTitle[kWmpFieldSize];
        const char* title = WmpPropertiesTitle();
        std::size_t length = std::strlen(title);
        if (length > kWmpFieldSize - 1)
            length = kWmpFieldSize - 1;
        std::memcpy(currentTitle, title, length);
        currentTitle[length] = '\0';
        scan.currentTitle = currentTitle;
        // An empty title means the Properties dialog told nothing: no entry can be the one playing.
        if (currentTitle[0] != '\0')
            ScanPlaylist(scan);

        if (scan.current >= 0 && scan.target >= 0) {
            unsigned command = scan.current > scan.target ? kWmpPrevious : kWmpNext;
            std::int32_t steps =
                scan.current > scan.target ? scan.current - scan.target : scan.target - scan.current;
            for (std::int32_t i = 0; i < steps; ++i)
                SendPlayerCommand(player, command);
        }
    }

    if (scan.textBlock)
        DeskRemoteFree(scan.process, scan.textBlock);
    if (scan.recordBlock)
        DeskRemoteFree(scan.process, scan.recordBlock);
    DeskCloseProcess(scan.process);
}
