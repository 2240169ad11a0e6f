// The owner-drawn job list: a no-data list box whose line i shows job i of the queue in two
// lines, the source, then " -> " and the destination.
#pragma once

#include <windows.h>

#include <string>

#include "app/AppState.h"

// The job list starts this far below the client area's top, under the toolbar.
int ToolbarHeight(int dpi);

HFONT CreateListFont(int dpi);
HWND CreateJobList(HWND window);
bool MoveJobList(HWND jobList, const RECT& rect);
// The list grows or shrinks to count lines in one step; selection and scrolling stay.
void SyncJobLines(HWND jobList, int count);
void ClearJobLines(HWND jobList);
void OnMeasureItem(HWND window, TMessage& message);
// The DPI changed: the list's font and its rows' height follow.
void RescaleJobList(HWND jobList);
// What a line shows, whole: the source on its first row, the rest on its second.
struct TJobLineTexts {
    std::wstring Source;
    std::wstring Second;
};
TJobLineTexts JobLineTexts(int line);
void OnDrawItem(HWND window, TMessage& message);
