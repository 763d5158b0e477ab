// Windows' media session through the Windows Runtime, with nothing of the SDK's: MinGW has no headers
// for this namespace. Only the calls used are declared, each as its slot in the interface's vtable, in
// the order of the Windows SDK's metadata as microsoft/windows-rs generates it (at 470e831:
// crates/libs/windows/src/Windows/Media/Control/mod.rs, and the Windows.Foundation bindings for
// IAsyncInfo, IAsyncOperation<T> and IReference<T>). combase is loaded at run time, so the program
// still starts where there is none.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/desktop.h"

namespace {

typedef struct HSTRING__* HSTRING;

// Slots after IUnknown (0 to 2) and IInspectable (3 to 5).
enum : int {
    kRelease = 2,
    // IGlobalSystemMediaTransportControlsSessionManagerStatics {2050c4ee-11a0-57de-aed7-c97c70338245}
    kStaticsRequestAsync = 6,
    // IGlobalSystemMediaTransportControlsSessionManager {cace8eac-e86e-504a-ab31-5ff8ff1bce49}
    kManagerGetCurrentSession = 6,
    // IGlobalSystemMediaTransportControlsSession {7148c835-9b14-5ae2-ab85-dc9b1c14e1a8}: SourceAppUserModelId
    // 6, then TryGetMediaPropertiesAsync, GetTimelineProperties, GetPlaybackInfo, TryPlayAsync,
    // TryPauseAsync, TryStopAsync, TryRecordAsync, TryFastForwardAsync, TryRewindAsync,
    // TrySkipNextAsync, TrySkipPreviousAsync, TryChangeChannelUpAsync, TryChangeChannelDownAsync,
    // TryTogglePlayPauseAsync, TryChangeAutoRepeatModeAsync, TryChangePlaybackRateAsync,
    // TryChangeShuffleActiveAsync.
    kSessionTryGetMediaPropertiesAsync = 7,
    kSessionGetPlaybackInfo = 9,
    kSessionTryPlayAsync = 10,
    kSessionTryStopAsync = 12,
    kSessionTrySkipNextAsync = 16,
    kSessionTrySkipPreviousAsync = 17,
    kSessionTryTogglePlayPauseAsync = 20,
    kSessionTryChangeAutoRepeatModeAsync = 21,
    kSessionTryChangeShuffleActiveAsync = 23,
    // IGlobalSystemMediaTransportControlsSessionMediaProperties {68856cf6-adb4-54b2-ac16-05837907acb6}:
    // Title, Subtitle, AlbumArtist, Artist.
    kPropertiesTitle = 6,
    kPropertiesArtist = 9,
    // IGlobalSystemMediaTransportControlsSessionPlaybackInfo {94b4b6cf-e8ba-51ad-87a7-c10ade106127}:
    // Controls, PlaybackStatus, PlaybackType, AutoRepeatMode, PlaybackRate, IsShuffleActive.
    kInfoPlaybackStatus = 7,
    kInfoAutoRepeatMode = 9,
    kInfoIsShuffleActive = 11,
    // IAsyncOperation<T>: Completed's setter and getter, GetResults.
    kOperationGetResults = 8,
    // IAsyncInfo {00000036-0000-0000-c000-000000000046}: Id, Status, ErrorCode, Cancel, Close.
    kAsyncInfoStatus = 7,
    kAsyncInfoCancel = 9,
    kAsyncInfoClose = 10,
    // IReference<T>: Value.
    kReferenceValue = 6,
};

const GUID kIidStatics = {0x2050c4ee, 0x11a0, 0x57de, {0xae, 0xd7, 0xc9, 0x7c, 0x70, 0x33, 0x82, 0x45}};
const GUID kIidAsyncInfo = {0x00000036, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const wchar_t kManagerClass[] = L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";
// Windows.Foundation.AsyncStatus: Started 0, Completed 1.
constexpr int kAsyncStarted = 0;
constexpr int kAsyncCompleted = 1;
constexpr DWORD kPollMs = 5;

typedef HRESULT(WINAPI* RoInitializeFn)(int type);
typedef HRESULT(WINAPI* RoGetActivationFactoryFn)(HSTRING classId, REFIID iid, void** factory);
typedef HRESULT(WINAPI* WindowsCreateStringFn)(const wchar_t* text, UINT32 length, HSTRING* string);
typedef HRESULT(WINAPI* WindowsDeleteStringFn)(HSTRING string);
typedef const wchar_t*(WINAPI* WindowsGetStringRawBufferFn)(HSTRING string, UINT32* length);

struct Combase {
    bool loaded = false;
    RoInitializeFn roInitialize = nullptr;
    RoGetActivationFactoryFn getActivationFactory = nullptr;
    WindowsCreateStringFn createString = nullptr;
    WindowsDeleteStringFn deleteString = nullptr;
    WindowsGetStringRawBufferFn rawBuffer = nullptr;
};

template <typename Fn> Fn Procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loaded once; null where Windows has no combase or no activation.
const Combase* LoadCombase() {
    static Combase combase;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (HMODULE module = LoadLibraryA("combase.dll")) {
            combase.roInitialize = Procedure<RoInitializeFn>(module, "RoInitialize");
            combase.getActivationFactory = Procedure<RoGetActivationFactoryFn>(module, "RoGetActivationFactory");
            combase.createString = Procedure<WindowsCreateStringFn>(module, "WindowsCreateString");
            combase.deleteString = Procedure<WindowsDeleteStringFn>(module, "WindowsDeleteString");
            combase.rawBuffer = Procedure<WindowsGetStringRawBufferFn>(module, "WindowsGetStringRawBuffer");
            combase.loaded = combase.roInitialize && combase.getActivationFactory && combase.createString &&
                             combase.deleteString && combase.rawBuffer;
        }
    }
    return combase.loaded ? &combase : nullptr;
}

// A method in a slot of an object's vtable.
template <typename Fn> Fn Slot(void* object, int slot) {
    return reinterpret_cast<Fn>((*static_cast<void***>(object))[slot]);
}
typedef HRESULT(STDMETHODCALLTYPE* GetFn)(void* self, void** out);
typedef HRESULT(STDMETHODCALLTYPE* GetIntFn)(void* self, INT32* out);
typedef HRESULT(STDMETHODCALLTYPE* GetByteFn)(void* self, BYTE* out);
typedef HRESULT(STDMETHODCALLTYPE* IntArgFn)(void* self, INT32 value, void** out);
typedef HRESULT(STDMETHODCALLTYPE* ByteArgFn)(void* self, BYTE value, void** out);
typedef HRESULT(STDMETHODCALLTYPE* QueryFn)(void* self, REFIID iid, void** out);
typedef HRESULT(STDMETHODCALLTYPE* StatusFn)(void* self, int* status);
typedef HRESULT(STDMETHODCALLTYPE* PlainFn)(void* self);
typedef ULONG(STDMETHODCALLTYPE* ReleaseFn)(void* self);

// One reference, let go when it goes.
struct Ref {
    void* p = nullptr;
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (p)
            Slot<ReleaseFn>(p, kRelease)(p);
    }
    void** out() {
        return &p;
    }
};

// The result of an operation that completed within the wait; null for one that failed or did not
// complete, which is then cancelled. Closed either way.
bool AwaitResult(void* operation, void** result) {
    *result = nullptr;
    Ref info;
    if (!operation || FAILED(Slot<QueryFn>(operation, 0)(operation, kIidAsyncInfo, info.out())) || !info.p)
        return false;
    ULONGLONG start = GetTickCount64();
    int status = kAsyncStarted;
    while (SUCCEEDED(Slot<StatusFn>(info.p, kAsyncInfoStatus)(info.p, &status)) && status == kAsyncStarted &&
           GetTickCount64() - start < kSessionWaitMs)
        Sleep(kPollMs);
    bool done = status == kAsyncCompleted &&
                SUCCEEDED(Slot<GetFn>(operation, kOperationGetResults)(operation, result));
    if (status == kAsyncStarted)
        Slot<PlainFn>(info.p, kAsyncInfoCancel)(info.p);
    Slot<PlainFn>(info.p, kAsyncInfoClose)(info.p);
    return done;
}

// The manager, asked for once on this thread and kept for its life.
SessionResult Manager(const Combase* combase, void** manager) {
    static thread_local void* kept = nullptr;
    if (kept) {
        *manager = kept;
        return SessionResult::Done;
    }
    HSTRING name = nullptr;
    if (FAILED(combase->createString(kManagerClass, static_cast<UINT32>(std::wcslen(kManagerClass)), &name)))
        return SessionResult::NoSession;
    Ref statics, request;
    HRESULT found = combase->getActivationFactory(name, kIidStatics, statics.out());
    combase->deleteString(name);
    if (FAILED(found) || !statics.p ||
        FAILED(Slot<GetFn>(statics.p, kStaticsRequestAsync)(statics.p, request.out())))
        return SessionResult::NoSession;
    if (!AwaitResult(request.p, &kept) || !kept)
        return SessionResult::NoAnswer;
    *manager = kept;
    return SessionResult::Done;
}

// The session now, asked afresh each time: a player that has closed is never asked.
SessionResult CurrentSession(void** session) {
    *session = nullptr;
    const Combase* combase = LoadCombase();
    if (!combase)
        return SessionResult::NoSession;
    // The monitor thread's own apartment, once.
    static thread_local bool apartment = false;
    if (!apartment) {
        combase->roInitialize(1); // RO_INIT_MULTITHREADED: operations are polled, never pumped
        apartment = true;
    }
    void* manager = nullptr;
    SessionResult found = Manager(combase, &manager);
    if (found != SessionResult::Done)
        return found;
    if (FAILED(Slot<GetFn>(manager, kManagerGetCurrentSession)(manager, session)) || !*session)
        return SessionResult::NoSession;
    return SessionResult::Done;
}

// The text in the ANSI code page, converted whole and then cut to fit with its terminator.
void CopyText(const Combase* combase, HSTRING text, char* out, std::size_t size) {
    if (size == 0)
        return;
    UINT32 length = 0;
    const wchar_t* wide = text ? combase->rawBuffer(text, &length) : nullptr;
    int n = wide && length ? WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr)
                           : 0;
    std::string whole(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), &whole[0], n, nullptr, nullptr);
    std::size_t kept = std::min(whole.size(), size - 1);
    std::memcpy(out, whole.data(), kept);
    out[kept] = '\0';
}

void ReadText(const Combase* combase, void* properties, int slot, char* out, std::size_t size) {
    HSTRING text = nullptr;
    if (SUCCEEDED(Slot<GetFn>(properties, slot)(properties, reinterpret_cast<void**>(&text)))) {
        CopyText(combase, text, out, size);
        combase->deleteString(text);
    } else if (size > 0) {
        out[0] = '\0';
    }
}

// An IReference<T> read whole; -1 where the session gives none.
std::int32_t ReadReference(void* info, int slot, bool isByte) {
    Ref reference;
    if (FAILED(Slot<GetFn>(info, slot)(info, reference.out())) || !reference.p)
        return -1;
    if (isByte) {
        BYTE value = 0;
        return SUCCEEDED(Slot<GetByteFn>(reference.p, kReferenceValue)(reference.p, &value)) ? (value ? 1 : 0)
                                                                                            : -1;
    }
    INT32 value = 0;
    return SUCCEEDED(Slot<GetIntFn>(reference.p, kReferenceValue)(reference.p, &value)) ? value : -1;
}

} // namespace

SessionResult DeskSessionSong(char* artist, std::size_t artistSize, char* title, std::size_t titleSize) {
    if (artistSize > 0)
        artist[0] = '\0';
    if (titleSize > 0)
        title[0] = '\0';
    Ref session;
    SessionResult found = CurrentSession(session.out());
    if (found != SessionResult::Done)
        return found;
    Ref request, properties;
    if (FAILED(Slot<GetFn>(session.p, kSessionTryGetMediaPropertiesAsync)(session.p, request.out())) ||
        !AwaitResult(request.p, properties.out()) || !properties.p)
        return SessionResult::NoAnswer;
    const Combase* combase = LoadCombase();
    ReadText(combase, properties.p, kPropertiesArtist, artist, artistSize);
    ReadText(combase, properties.p, kPropertiesTitle, title, titleSize);
    return SessionResult::Done;
}

SessionResult DeskSessionState(SessionState* state) {
    *state = {-1, -1, -1};
    Ref session;
    SessionResult found = CurrentSession(session.out());
    if (found != SessionResult::Done)
        return found;
    Ref info;
    if (FAILED(Slot<GetFn>(session.p, kSessionGetPlaybackInfo)(session.p, info.out())) || !info.p)
        return SessionResult::NoAnswer;
    INT32 status = -1;
    if (SUCCEEDED(Slot<GetIntFn>(info.p, kInfoPlaybackStatus)(info.p, &status)))
        state->status = status;
    state->shuffle = ReadReference(info.p, kInfoIsShuffleActive, true);
    state->repeat = ReadReference(info.p, kInfoAutoRepeatMode, false);
    return SessionResult::Done;
}

SessionResult DeskSessionCommand(SessionCommand command, std::int32_t value) {
    Ref session;
    SessionResult found = CurrentSession(session.out());
    if (found != SessionResult::Done)
        return found;
    Ref operation;
    HRESULT asked = E_FAIL;
    void* s = session.p;
    switch (command) {
    case SessionCommand::Play: asked = Slot<GetFn>(s, kSessionTryPlayAsync)(s, operation.out()); break;
    case SessionCommand::TogglePlayPause:
        asked = Slot<GetFn>(s, kSessionTryTogglePlayPauseAsync)(s, operation.out());
        break;
    case SessionCommand::Stop: asked = Slot<GetFn>(s, kSessionTryStopAsync)(s, operation.out()); break;
    case SessionCommand::Next: asked = Slot<GetFn>(s, kSessionTrySkipNextAsync)(s, operation.out()); break;
    case SessionCommand::Previous:
        asked = Slot<GetFn>(s, kSessionTrySkipPreviousAsync)(s, operation.out());
        break;
    case SessionCommand::Shuffle:
        asked = Slot<ByteArgFn>(s, kSessionTryChangeShuffleActiveAsync)(s, value ? 1 : 0, operation.out());
        break;
    case SessionCommand::Repeat:
        asked = Slot<IntArgFn>(s, kSessionTryChangeAutoRepeatModeAsync)(s, value, operation.out());
        break;
    }
    // IAsyncOperation<bool>'s result is a boolean, not an object: it is read into a plain slot.
    void* answer = nullptr;
    return SUCCEEDED(asked) && AwaitResult(operation.p, &answer) ? SessionResult::Done : SessionResult::NoAnswer;
}
