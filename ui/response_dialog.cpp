// The Response Strings dialog: four template fields, Ok stores and saves, Cancel leaves all as it was.
// Enter and Escape do nothing, so only the two buttons end it.
#include <windows.h>

#include "ui/main_window.h"
#include "ui/resource.h"
#include "ui/response_field_map.h"

INT_PTR CALLBACK ResponseStringsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    WindowHandle handle = reinterpret_cast<WindowHandle>(dialog);
    switch (message) {
    case WM_INITDIALOG: ShowResponseFields(handle, kResponseFields, kResponseFieldCount); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RESPONSE_OK:
            StoreResponseFields(handle, kResponseFields, kResponseFieldCount);
            EndDialog(dialog, 1);
            break;
        case IDC_RESPONSE_CANCEL: EndDialog(dialog, 2); break;
        default: break;
        }
        return TRUE;
    default: return FALSE;
    }
}
