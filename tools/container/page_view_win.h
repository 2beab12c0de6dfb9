// What the container's window shows of the page, so that a person watching
// (or a screenshot) can follow it: the page's <title> as a heading and the
// window caption, and below it the page's status text, the latest lines the
// container printed (statements and their results, events), newest last.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zv {

// Reads the page's title from PAGE and gives the host window a readable size.
void PageViewInit(HWND host, const std::wstring& page);
// Adds one printed line to the status text and repaints.
void PageViewStatus(const std::u16string& line);
// Paints the heading and the status text; false before PageViewInit.
bool PageViewPaint(HWND hwnd);

// The lines of a text, split at each line feed (a text that ends in one ends
// in an empty line).
std::vector<std::u16string> SplitLines(const std::u16string& text);

}  // namespace zv
