// session_probe: asks Windows' media session manager for the current song as a client does, printing
// each step; a by-hand check that qxsession.dll is registered and answers. Slot numbers and IIDs:
// microsoft/windows-rs, crates/libs/windows/src/Windows/Media/Control/mod.rs.
#include <windows.h>
#include <winstring.h>
#include <roapi.h>
#include <cstdio>

namespace {

const GUID kIAsyncInfo = {0x00000036, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kStatics = {0x2050c4ee, 0x11a0, 0x57de, {0xae, 0xd7, 0xc9, 0x7c, 0x70, 0x33, 0x82, 0x45}};

// Calls a COM method by its vtable slot; the argument types must be the slot's exact ones.
template <typename... A> HRESULT call(void* obj, int slot, A... args) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, A...);
    return (*static_cast<Fn**>(obj))[slot](obj, args...);
}
void release(void* obj) {
    if (obj)
        call(obj, 2);
}

// combase's exports, loaded by name as a client without the import library does.
template <typename F> F combase(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryW(L"combase.dll"), name)));
}
const auto roInitialize = combase<decltype(&RoInitialize)>("RoInitialize");
const auto roGetActivationFactory = combase<decltype(&RoGetActivationFactory)>("RoGetActivationFactory");
const auto createString = combase<decltype(&WindowsCreateString)>("WindowsCreateString");
const auto rawBuffer = combase<decltype(&WindowsGetStringRawBuffer)>("WindowsGetStringRawBuffer");

bool ok(const char* step, HRESULT hr) {
    printf("%s: 0x%08lx\n", step, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

// Prints the string's first 200 characters, control characters escaped, and its length.
void printString(const char* what, void* obj, int slot) {
    HSTRING h = nullptr;
    HRESULT hr = call(obj, slot, &h);
    UINT32 len = 0;
    const wchar_t* w = rawBuffer(h, &len);
    printf("%s: 0x%08lx \"", what, static_cast<unsigned long>(hr));
    for (UINT32 i = 0; i < len && i < 200; i++) {
        char utf8[8] = "";
        if (w[i] < 0x20)
            printf("\\x%02x", w[i]);
        else if (WideCharToMultiByte(CP_UTF8, 0, w + i, 1, utf8, sizeof utf8 - 1, nullptr, nullptr))
            printf("%s", utf8);
    }
    printf("\" (%u characters)\n", len);
}

// Polls the operation's IAsyncInfo for up to two seconds, cancels it if it is still running, takes
// its result and closes it.
bool await(const char* step, void* op, void* result) {
    void* info = nullptr;
    if (!ok("  QueryInterface(IAsyncInfo)", call(op, 0, &kIAsyncInfo, &info)))
        return false;
    INT32 status = 0;
    DWORD start = GetTickCount();
    while (SUCCEEDED(call(info, 7, &status)) && status == 0 && GetTickCount() - start < 2000)
        Sleep(10);
    printf("  Status: %d after %lu ms\n", status, GetTickCount() - start);
    if (status == 0 && ok("  Cancel", call(info, 9)) && SUCCEEDED(call(info, 7, &status)))
        printf("  Status: %d\n", status);
    char line[96];
    snprintf(line, sizeof line, "  %s GetResults", step);
    bool done = ok(line, call(op, 8, result));
    ok("  Close", call(info, 10));
    release(info);
    release(op);
    return done;
}

void showSong(void* session) {
    void* op = nullptr;
    void* props = nullptr;
    if (!ok("TryGetMediaPropertiesAsync", call(session, 7, &op)) ||
        !await("TryGetMediaPropertiesAsync", op, &props))
        return;
    printString("  Artist", props, 9);
    printString("  Title", props, 6);
    release(props);
}

} // namespace

int main() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    ok("RoInitialize", roInitialize(RO_INIT_MULTITHREADED));
    const wchar_t* name = L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";
    HSTRING cls = nullptr;
    createString(name, static_cast<UINT32>(wcslen(name)), &cls);
    void *statics = nullptr, *op = nullptr, *manager = nullptr, *session = nullptr, *info = nullptr;
    if (!ok("RoGetActivationFactory", roGetActivationFactory(cls, kStatics, &statics)))
        return 1;
    if (!ok("RequestAsync", call(statics, 6, &op)) || !await("RequestAsync", op, &manager))
        return 1;
    if (!ok("GetCurrentSession", call(manager, 6, &session)))
        return 1;
    if (!session) {
        printf("  no current session\n");
        return 0;
    }
    showSong(session);
    if (ok("GetPlaybackInfo", call(session, 9, &info))) {
        INT32 status = -1, repeat = -1;
        BYTE shuffle = 0xff;
        void *shuffleRef = nullptr, *repeatRef = nullptr;
        ok("  PlaybackStatus", call(info, 7, &status));
        ok("  AutoRepeatMode", call(info, 9, &repeatRef));
        ok("  IsShuffleActive", call(info, 11, &shuffleRef));
        if (repeatRef)
            call(repeatRef, 6, &repeat);
        if (shuffleRef)
            call(shuffleRef, 6, &shuffle);
        printf("  status %d, repeat %d, shuffle %d (-1/255: not reported)\n", status, repeat, shuffle);
        release(repeatRef);
        release(shuffleRef);
        release(info);
    }
    BYTE accepted = 0;
    if (ok("TrySkipNextAsync", call(session, 16, &op)) && await("TrySkipNextAsync", op, &accepted))
        printf("  accepted: %d\n", accepted);
    showSong(session);
    release(session);
    release(manager);
    release(statics);
    return 0;
}
