// The control's small services without Windows: the page's text files (how a
// text is written, how a file is read back into lines, which names a page may
// use), the Windows name table and the version texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// SaveTextAsFile's bytes: the text up to its first NUL as UTF-16LE code
// units, no byte-order mark, no terminator, no added line end.
std::string EncodeTextForFile(std::u16string_view text);

// LoadTextFromFile's reading of a file's bytes: UTF-16LE units (a single
// trailing byte is ignored) split into lines, a line ending at LF or at CR
// together with the one unit after it; remaining units after the last line
// end form a final line; the lines are joined with LF, and a line adds
// nothing (not even its LF) while the result is still empty.
std::u16string DecodeTextFromFile(std::string_view bytes);

// Whether a page's file name stays inside the zaduze\doc folder: a relative
// path of plain names separated by backslashes or slashes. Refused: empty
// names and empty steps, absolute paths, anything with a colon (drives,
// alternate data streams, \\?\ prefixes), steps made of dots and blanks only
// ("..", "..."), steps ending in a dot or blank (Windows drops those), device
// names (CON, NUL, COM1 ... with or without an extension), wildcards and the
// other characters Windows forbids in names, control characters.
bool IsConfinedDocPath(std::u16string_view name);

// "%s\%s\%s" of the documents folder, "zaduze\doc" and the name; empty when
// the result would not fit 260 wide characters with its terminator.
std::u16string DocFilePath(std::u16string_view documents, std::u16string_view name);

// GetOSVersion's table.
std::u16string OsVersionName(uint32_t major, uint32_t minor);

// GetVersion2's "%s (%s,%s)".
std::u16string FormatVersion2(std::u16string_view fileVersion, std::u16string_view buildDate,
                              std::u16string_view buildTime);

// Whether a page's value may be the value of a one-shot command (trusted
// sites): not empty, not beginning with '-' (the agent would take it for an
// option name and drop it) and without a NUL (process creation would cut the
// command line there). Either way the agent would get no command at all and
// start a protection session instead.
bool IsOneShotValue(std::u16string_view value);

// Whether an option text the control is about to hand the agent for one
// command really carries one, read with the agent's own splitting and scan;
// a NUL anywhere refuses it as well.
bool CarriesOneShotCommand(std::u16string_view options);

// A list value as it reaches the agent: up to its first NUL.
std::u16string_view UpToNul(std::u16string_view value);

// An agent exit code as the page sees it: its low 16 bits, signed.
int16_t ExitCodeToShort(uint32_t exitCode);

// The version resource's string block name for a translation:
// "\StringFileInfo\<language><code page>\<key>" with four lower-case
// hexadecimal digits each.
std::u16string VersionStringPath(uint16_t language, uint16_t codePage, std::u16string_view key);

}  // namespace zv
