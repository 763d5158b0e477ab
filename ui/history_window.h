#pragma once

#include <windows.h>

constexpr const char* kHistoryWindowClass = "QuorvexHistory";
constexpr const char* kHistoryWindowTitle = "Quorvex - History";

// Opens the History window, or brings it to the front when it is open already.
void ShowHistoryWindow(HINSTANCE instance);
