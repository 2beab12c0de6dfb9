// sandbox_marker NAME MILLISECONDS [FILE]: holds the in-use marker of the
// snapshot NAME, as a live page does, for that long (or until it is killed).
// Once the marker is held it writes "held" into FILE when one is given; it
// ends with 1 when the marker is held by someone else already.
#include <windows.h>

#include <cwchar>
#include <string>

#include "agent/sandbox/snapshot_pending_win.h"
#include "platform/handles.h"
#include "platform/wide.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const zv::UniqueKernelHandle marker = zv::ClaimSnapshotMarker(zv::U16(argv[1]));
  if (!marker) return 1;
  if (argc > 3) {
    const zv::UniqueFileHandle file(
        CreateFileW(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.get(), "held", 4, &written, nullptr);
  }
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  return 0;
}
