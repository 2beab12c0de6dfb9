#include "platform/integrity_win.h"

#include <vector>

#include "common/log/log.h"
#include "platform/handles.h"

namespace zv {

IntegrityLevel TokenIntegrity(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  if (size < sizeof(TOKEN_MANDATORY_LABEL)) return IntegrityLevel::Unknown;
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) return IntegrityLevel::Unknown;
  const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
  if (sid == nullptr || !IsValidSid(sid) || *GetSidSubAuthorityCount(sid) == 0) return IntegrityLevel::Unknown;
  return IntegrityLevelOfRid(*GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1u));
}

IntegrityLevel ProcessIntegrity() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return IntegrityLevel::Unknown;
  return TokenIntegrity(token.get());
}

void LogIntegrityAtStart(IntegrityProgram program) {
  try {
    const std::string line = IntegrityStartLine(ProcessIntegrity(), program);
    if (line.empty()) return;
    FILE_LOG(logWARNING) << line;
    const std::string debug = (program == IntegrityProgram::Agent ? "ZedudeVeri: " : "Zaduze: ") + line + "\n";
    OutputDebugStringA(debug.c_str());
  } catch (...) {
    // Out of memory for one line: the start goes on.
  }
}

}  // namespace zv
