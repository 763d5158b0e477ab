// qxsession.dll: a scripted stand-in for Windows' media session manager, so that a client under Wine
// finds one player's session. Wine's combase activates it from the registry: it loads the DLL named by
// HKLM\Software\Microsoft\WindowsRuntime\ActivatableClassId\<class>\DllPath and calls its exported
// DllGetActivationFactory (wine-mirror/wine, dlls/combase/roapi.c).
// Interfaces, IIDs and slots: microsoft/windows-rs, crates/libs/windows/src/Windows/Media/Control/mod.rs
// and its Foundation bindings (IAsyncInfo, IAsyncOperation<T>, IReference<T>). Every method is a stdcall
// COM method, so each slot keeps its exact parameters: on i686 the callee pops them.
#include <windows.h>
#include <winstring.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

namespace {

using Slot = void (*)();
template <typename F> Slot S(F f) {
    return reinterpret_cast<Slot>(f);
}

const GUID kIUnknown = {0x00000000, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
// mingw-w64 headers, inspectable.h
const GUID kIInspectable = {0xaf86e2e0, 0xb12d, 0x4c6a, {0x9c, 0x5a, 0xd7, 0xaa, 0x65, 0x10, 0x1e, 0x90}};
const GUID kIActivationFactory = {0x00000035, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kIAsyncInfo = {0x00000036, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kStatics = {0x2050c4ee, 0x11a0, 0x57de, {0xae, 0xd7, 0xc9, 0x7c, 0x70, 0x33, 0x82, 0x45}};
const GUID kManager = {0xcace8eac, 0xe86e, 0x504a, {0xab, 0x31, 0x5f, 0xf8, 0xff, 0x1b, 0xce, 0x49}};
const GUID kSession = {0x7148c835, 0x9b14, 0x5ae2, {0xab, 0x85, 0xdc, 0x9b, 0x1c, 0x14, 0xe1, 0xa8}};
const GUID kProperties = {0x68856cf6, 0xadb4, 0x54b2, {0xac, 0x16, 0x05, 0x83, 0x79, 0x07, 0xac, 0xb6}};
const GUID kPlayback = {0x94b4b6cf, 0xe8ba, 0x51ad, {0x87, 0xa7, 0xc1, 0x0a, 0xde, 0x10, 0x61, 0x27}};

const HRESULT kIllegalMethodCall = static_cast<HRESULT>(0x8000000E);
const HRESULT kIllegalDelegateAssignment = static_cast<HRESULT>(0x80000018);
enum { kStarted = 0, kCompleted = 1, kCanceled = 2 };

#define CONTROL L"Windows.Media.Control.GlobalSystemMediaTransportControls"
#define MANAGER_CLASS CONTROL L"SessionManager"

// One record for every object; the factory and the async operations carry a second interface.
struct Obj {
    const Slot* vtbl;
    const Slot* second; // the factory's statics, an operation's IAsyncInfo
    const GUID* iid;
    const GUID* secondIid;
    const wchar_t* cls;
    LONG refs;
    HSTRING artist, title;
    INT32 status, shuffle, repeat; // shuffle, repeat: -1 when the player does not report them
    ULONGLONG start;
    int delay; // -1: never completes
    LONG canceled, pending;
    Obj* result; // an object result; a bool result is in flag
    BYTE flag;
    IUnknown* handler;
    INT32 value; // an IReference's value, one byte when byteValue
    bool byteValue;
};

Obj* outer(void* second) {
    return reinterpret_cast<Obj*>(static_cast<void**>(second) - 1);
}

Obj* make(const Slot* vtbl, const GUID* iid, const wchar_t* cls) {
    Obj* o = new Obj{};
    o->vtbl = vtbl;
    o->iid = iid;
    o->cls = cls;
    o->refs = 1;
    return o;
}

// combase is loaded already: it is what loads this DLL.
template <typename F> F combase(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<Slot>(GetProcAddress(GetModuleHandleW(L"combase.dll"), name)));
}
const auto createString = combase<decltype(&WindowsCreateString)>("WindowsCreateString");
const auto duplicateString = combase<decltype(&WindowsDuplicateString)>("WindowsDuplicateString");
const auto deleteString = combase<decltype(&WindowsDeleteString)>("WindowsDeleteString");
const auto stringBuffer = combase<decltype(&WindowsGetStringRawBuffer)>("WindowsGetStringRawBuffer");
HSTRING hstring(const std::wstring& text) {
    HSTRING h = nullptr;
    createString(text.c_str(), static_cast<UINT32>(text.size()), &h);
    return h;
}

// The script and the record, files named by the environment: read, rewritten and appended at every call.
std::mutex gLock;
using Script = std::map<std::string, std::string>;

// From the process environment, not the C runtime's copy, so a change after start-up counts.
FILE* open(const wchar_t* variable, const wchar_t* mode) {
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(variable, path, MAX_PATH);
    return n && n < MAX_PATH ? _wfopen(path, mode) : nullptr;
}
Script readScript() {
    Script s;
    FILE* f = open(L"QXSESSION_SCRIPT", L"rb");
    char line[4096];
    while (f && fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (char* eq = strchr(line, '=')) {
            *eq = '\0';
            s[line] = eq + 1;
        }
    }
    if (f)
        fclose(f);
    return s;
}
void writeScript(const Script& s) {
    if (FILE* f = open(L"QXSESSION_SCRIPT", L"wb")) {
        for (const auto& kv : s)
            fprintf(f, "%s=%s\n", kv.first.c_str(), kv.second.c_str());
        fclose(f);
    }
}
void record(const std::string& line) {
    static std::mutex recordLock; // Cancel and Close come from any thread, outside gLock
    std::lock_guard<std::mutex> lock(recordLock);
    if (FILE* f = open(L"QXSESSION_RECORD", L"ab")) {
        fprintf(f, "%s\n", line.c_str());
        fclose(f);
    }
}
std::string text(const Script& s, const char* key) {
    auto it = s.find(key);
    return it == s.end() ? std::string() : it->second;
}
int number(const Script& s, const char* key, int fallback) {
    std::string v = text(s, key);
    return v.empty() ? fallback : atoi(v.c_str());
}

std::wstring wide(const std::string& utf8) {
    std::wstring w(utf8.size() + 1, L'\0');
    w.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], w.size()));
    return w;
}
std::wstring title(const Script& s) {
    std::wstring t;
    if (number(s, "long_title", 0)) {
        for (int i = 0; i < 65536; i++)
            t += static_cast<wchar_t>(L'a' + i % 26);
        return t;
    }
    if (!number(s, "control_title", 0))
        return wide(text(s, "title"));
    for (wchar_t c = 1; c < 0x20; c++)
        t += c;
    return t + L"\";Song;\"" + t;
}

// IUnknown and IInspectable, for the first interface and (the *2 variants) the second.
HRESULT STDMETHODCALLTYPE queryInterface(Obj* o, REFIID riid, void** out) {
    if (riid == kIUnknown || riid == kIInspectable || (o->iid && riid == *o->iid))
        *out = &o->vtbl;
    else if (o->second && riid == *o->secondIid)
        *out = &o->second;
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&o->refs);
    return S_OK;
}
ULONG STDMETHODCALLTYPE addRef(Obj* o) {
    return InterlockedIncrement(&o->refs);
}
ULONG STDMETHODCALLTYPE release(Obj* o) {
    LONG left = InterlockedDecrement(&o->refs);
    if (left)
        return left;
    if (o->result)
        release(o->result);
    if (o->handler)
        o->handler->Release();
    deleteString(o->artist);
    deleteString(o->title);
    delete o;
    return 0;
}
HRESULT STDMETHODCALLTYPE getIids(Obj*, ULONG* count, IID** iids) {
    *count = 0;
    *iids = nullptr;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE className(Obj* o, HSTRING* out) {
    *out = o->cls ? hstring(o->cls) : nullptr;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE queryInterface2(void* p, REFIID riid, void** out) {
    return queryInterface(outer(p), riid, out);
}
ULONG STDMETHODCALLTYPE addRef2(void* p) {
    return addRef(outer(p));
}
ULONG STDMETHODCALLTYPE release2(void* p) {
    return release(outer(p));
}
HRESULT STDMETHODCALLTYPE className2(void* p, HSTRING* out) {
    return className(outer(p), out);
}
#define INSPECTABLE S(queryInterface), S(addRef), S(release), S(getIids), S(className), S(zero)
#define INSPECTABLE2 S(queryInterface2), S(addRef2), S(release2), S(getIids), S(className2), S(zero)

// What the stand-in does not model, each with its slot's own parameters.
HRESULT STDMETHODCALLTYPE notImplemented(Obj*, void** out) {
    *out = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE nothing(Obj*, void** out) { // an empty HSTRING or a null reference
    *out = nullptr;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE zero(Obj*, INT32* out) { // also BaseTrust and S_OK
    *out = 0;
    return S_OK;
}
// Handlers are taken and never raised: nothing tells a client that the script changed.
HRESULT STDMETHODCALLTYPE addEvent(Obj*, IUnknown*, INT64* token) {
    *token = 1;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE removeEvent(Obj*, INT64) {
    return S_OK;
}

// IAsyncOperation<T> with its IAsyncInfo: Started until delay ms have passed since creation.
LONG opStatus(Obj* op) {
    if (op->canceled)
        return kCanceled;
    if (op->delay < 0 || GetTickCount64() - op->start < static_cast<ULONGLONG>(op->delay))
        return kStarted;
    return kCompleted;
}
void fire(Obj* op) { // the completion handler, once; its Invoke(operation, status) is slot 3
    if (!InterlockedExchange(&op->pending, 0))
        return;
    using Invoke = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Obj*, INT32);
    (*reinterpret_cast<Invoke**>(op->handler))[3](op->handler, op, opStatus(op));
}
DWORD WINAPI waiter(void* p) {
    Obj* op = static_cast<Obj*>(p);
    while (opStatus(op) == kStarted)
        Sleep(static_cast<DWORD>(op->start + op->delay - GetTickCount64()) + 1);
    fire(op);
    release(op);
    return 0;
}
HRESULT STDMETHODCALLTYPE putCompleted(Obj* op, IUnknown* handler) {
    if (op->handler)
        return kIllegalDelegateAssignment;
    if (!handler)
        return S_OK;
    handler->AddRef();
    op->handler = handler;
    op->pending = 1;
    if (opStatus(op) != kStarted)
        fire(op);
    else if (op->delay >= 0) {
        addRef(op);
        HANDLE t = CreateThread(nullptr, 0, waiter, op, 0, nullptr);
        if (t)
            CloseHandle(t);
        else
            release(op);
    }
    return S_OK;
}
HRESULT STDMETHODCALLTYPE getCompleted(Obj* op, IUnknown** out) {
    if ((*out = op->handler))
        op->handler->AddRef();
    return S_OK;
}
HRESULT STDMETHODCALLTYPE getResults(Obj* op, void* out) {
    if (opStatus(op) != kCompleted)
        return kIllegalMethodCall;
    if (op->result)
        addRef(*static_cast<Obj**>(out) = op->result);
    else
        *static_cast<BYTE*>(out) = op->flag;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE infoId(void* p, UINT32* id) {
    *id = static_cast<UINT32>(reinterpret_cast<UINT_PTR>(p));
    return S_OK;
}
HRESULT STDMETHODCALLTYPE infoStatus(void* p, INT32* status) {
    *status = opStatus(outer(p));
    return S_OK;
}
HRESULT STDMETHODCALLTYPE infoCancel(void* p) {
    Obj* op = outer(p);
    record("Cancel");
    if (opStatus(op) == kStarted)
        op->canceled = 1;
    fire(op);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE infoClose(void*) {
    record("Close");
    return S_OK;
}
const Slot kOperation[] = {INSPECTABLE, S(putCompleted), S(getCompleted), S(getResults)};
const Slot kInfo[] = {INSPECTABLE2, S(infoId), S(infoStatus), S(zero), S(infoCancel), S(infoClose)};

Obj* operation(const Script& s, Obj* result, BYTE flag) {
    Obj* op = make(kOperation, nullptr, nullptr);
    op->second = kInfo;
    op->secondIid = &kIAsyncInfo;
    op->start = GetTickCount64();
    op->delay = number(s, "delay_ms", 0);
    op->result = result;
    op->flag = flag;
    return op;
}

// IReference<T>, for a boolean (one byte) or an enumeration (INT32); none for a value of -1.
HRESULT STDMETHODCALLTYPE referenceValue(Obj* r, void* out) {
    if (r->byteValue)
        *static_cast<BYTE*>(out) = static_cast<BYTE>(r->value);
    else
        *static_cast<INT32*>(out) = r->value;
    return S_OK;
}
const Slot kReference[] = {INSPECTABLE, S(referenceValue)};
HRESULT reference(INT32 value, bool byteValue, Obj** out) {
    *out = value < 0 ? nullptr : make(kReference, nullptr, nullptr);
    if (*out)
        (*out)->value = value, (*out)->byteValue = byteValue;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE propertyTitle(Obj* o, HSTRING* out) {
    return duplicateString(o->title, out);
}
HRESULT STDMETHODCALLTYPE propertyArtist(Obj* o, HSTRING* out) {
    return duplicateString(o->artist, out);
}
const Slot kPropertiesVtbl[] = {INSPECTABLE,       S(propertyTitle), S(nothing), S(nothing),
                                S(propertyArtist), S(nothing),       S(zero),    S(notImplemented),
                                S(zero),           S(nothing),       S(nothing)};

HRESULT STDMETHODCALLTYPE playbackStatus(Obj* o, INT32* out) {
    *out = o->status;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE repeatMode(Obj* o, Obj** out) {
    return reference(o->repeat, false, out);
}
HRESULT STDMETHODCALLTYPE shuffleActive(Obj* o, Obj** out) {
    return reference(o->shuffle, true, out);
}
const Slot kPlaybackVtbl[] = {INSPECTABLE,   S(notImplemented), S(playbackStatus), S(nothing),
                              S(repeatMode), S(nothing),        S(shuffleActive)};

// The session: every call reads the script; each command the player acts on rewrites it.
HRESULT STDMETHODCALLTYPE sourceApp(Obj*, HSTRING* out) {
    *out = hstring(L"qxsession");
    return S_OK;
}
HRESULT STDMETHODCALLTYPE mediaProperties(Obj*, Obj** out) {
    std::lock_guard<std::mutex> lock(gLock);
    record("TryGetMediaPropertiesAsync");
    Script s = readScript();
    Obj* p = make(kPropertiesVtbl, &kProperties, CONTROL L"SessionMediaProperties");
    p->artist = hstring(wide(text(s, "artist")));
    p->title = hstring(title(s));
    *out = operation(s, p, 0);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE playbackInfo(Obj*, Obj** out) {
    std::lock_guard<std::mutex> lock(gLock);
    record("GetPlaybackInfo");
    Script s = readScript();
    *out = make(kPlaybackVtbl, &kPlayback, CONTROL L"SessionPlaybackInfo");
    (*out)->status = number(s, "status", 4);
    (*out)->shuffle = text(s, "shuffle").empty() ? -1 : number(s, "shuffle", 0) != 0;
    (*out)->repeat = number(s, "repeat", -1);
    return S_OK;
}

// The session's commands from slot 10 on, each named Try<word>Async.
const char kCommands[] = "Play Pause Stop Record FastForward Rewind SkipNext SkipPrevious ChangeChannelUp "
                         "ChangeChannelDown TogglePlayPause ChangeAutoRepeatMode ChangePlaybackRate "
                         "ChangeShuffleActive ChangePlaybackPosition";
const char* const kTitles[] = {"First Light", "Second Wind", "Third Time Lucky"};
const char* const kArtists[] = {"Alpha Band", "", "Gamma Ray"};

HRESULT command(int slot, const std::string& arg, Obj** out) {
    std::lock_guard<std::mutex> lock(gLock);
    std::istringstream words(kCommands);
    std::string name;
    for (int i = 10; i <= slot; i++)
        words >> name;
    name = "Try" + name + "Async";
    record(arg.empty() ? name : name + " " + arg);
    Script s = readScript();
    *out = nullptr;
    if (text(s, "fail") == name)
        return E_FAIL;
    int track = -1, status = number(s, "status", 4);
    for (int i = 0; i < 3; i++)
        if (text(s, "title") == kTitles[i])
            track = i;
    switch (slot) {
    case 10: status = 4; break;
    case 11: status = 5; break;
    case 12: status = 3; break;
    case 20: status = status == 4 ? 5 : 4; break;
    case 16: track = (track + 1) % 3; break;
    case 17: track = track < 0 ? 2 : (track + 2) % 3; break;
    case 21: s["repeat"] = arg; break;
    case 23: s["shuffle"] = arg == "0" ? "0" : "1"; break;
    default: *out = operation(s, nullptr, 0); return S_OK; // a command this player ignores answers false
    }
    if (slot == 16 || slot == 17)
        s["artist"] = kArtists[track], s["title"] = kTitles[track];
    else if (slot < 21)
        s["status"] = std::to_string(status);
    writeScript(s);
    *out = operation(s, nullptr, 1);
    return S_OK;
}
template <int Slot> HRESULT STDMETHODCALLTYPE simpleCommand(Obj*, Obj** out) {
    return command(Slot, "", out);
}
std::string argument(double d) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g", d);
    return buf;
}
template <typename T> std::string argument(T n) {
    return std::to_string(n);
}
template <int Slot, typename T> HRESULT STDMETHODCALLTYPE argCommand(Obj*, T value, Obj** out) {
    return command(Slot, argument(value), out);
}
#define SIMPLE(slot) S(simpleCommand<slot>)
#define ARG(slot, type) S(argCommand<slot, type>)
#define EVENT S(addEvent), S(removeEvent)
#define EVENTS3 EVENT, EVENT, EVENT
const Slot kSessionVtbl[] = {INSPECTABLE,     S(sourceApp),    S(mediaProperties), S(notImplemented),
                             S(playbackInfo), SIMPLE(10),      SIMPLE(11),         SIMPLE(12),
                             SIMPLE(13),      SIMPLE(14),      SIMPLE(15),         SIMPLE(16),
                             SIMPLE(17),      SIMPLE(18),      SIMPLE(19),         SIMPLE(20),
                             ARG(21, INT32),  ARG(22, double), ARG(23, BYTE),      ARG(24, INT64),
                             EVENTS3};

HRESULT STDMETHODCALLTYPE currentSession(Obj*, Obj** out) {
    std::lock_guard<std::mutex> lock(gLock);
    record("GetCurrentSession");
    bool session = number(readScript(), "session", 1) != 0;
    *out = session ? make(kSessionVtbl, &kSession, CONTROL L"Session") : nullptr;
    return S_OK;
}
const Slot kManagerVtbl[] = {INSPECTABLE, S(currentSession), S(notImplemented), EVENT, EVENT};

HRESULT STDMETHODCALLTYPE requestAsync(void*, Obj** out) {
    std::lock_guard<std::mutex> lock(gLock);
    record("RequestAsync");
    *out = operation(readScript(), make(kManagerVtbl, &kManager, MANAGER_CLASS), 0);
    return S_OK;
}
const Slot kFactoryVtbl[] = {INSPECTABLE, S(notImplemented)};
const Slot kStaticsVtbl[] = {INSPECTABLE2, S(requestAsync)};

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI DllGetActivationFactory(HSTRING classId, void** factory) {
    const wchar_t* name = stringBuffer(classId, nullptr);
    *factory = nullptr;
    if (!name || wcscmp(name, MANAGER_CLASS) != 0)
        return CLASS_E_CLASSNOTAVAILABLE;
    Obj* f = make(kFactoryVtbl, &kIActivationFactory, MANAGER_CLASS);
    f->second = kStaticsVtbl;
    f->secondIid = &kStatics;
    *factory = f;
    return S_OK;
}
