// Loads a DLL into another process with a thread of that process calling LoadLibraryA, for the
// scenarios that read the menu of the 32-bit companion: a 64-bit driver cannot, since LoadLibraryA of
// a 32-bit process lies where only a 32-bit program finds it.
// usage: menu_loader <pid> <dll>   exit 0 once the DLL was loaded; 1 with the reason otherwise
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "menu_loader: %s failed, error %lu\n", what, GetLastError());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: menu_loader <pid> <dll>\n");
        return 2;
    }
    DWORD pid = std::strtoul(argv[1], nullptr, 10);
    const char* dll = argv[2];
    const SIZE_T size = std::strlen(dll) + 1;
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (!process)
        return Fail("OpenProcess");
    int rc = 1;
    void* name = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!name) {
        rc = Fail("VirtualAllocEx");
    } else if (!WriteProcessMemory(process, name, dll, size, nullptr)) {
        rc = Fail("WriteProcessMemory");
    } else {
        auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, load, name, 0, nullptr);
        if (!thread) {
            rc = Fail("CreateRemoteThread");
        } else {
            DWORD module = 0;
            if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0)
                std::fprintf(stderr, "menu_loader: LoadLibraryA in pid %lu did not return\n", pid);
            else if (!GetExitCodeThread(thread, &module) || module == 0)
                std::fprintf(stderr, "menu_loader: LoadLibraryA(%s) failed in pid %lu\n", dll, pid);
            else
                rc = 0;
            CloseHandle(thread);
        }
        VirtualFreeEx(process, name, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return rc;
}
