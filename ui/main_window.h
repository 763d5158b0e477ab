#pragma once

#include <windows.h>

constexpr const char* kMainWindowClass = "WindowsApp";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TransparentLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ResponseStringsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
