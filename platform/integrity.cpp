#include "platform/integrity.h"

namespace zv {

namespace {
constexpr uint32_t kMediumRid = 0x2000;  // SECURITY_MANDATORY_MEDIUM_RID
constexpr uint32_t kHighRid = 0x3000;    // SECURITY_MANDATORY_HIGH_RID
}  // namespace

IntegrityLevel IntegrityLevelOfRid(uint32_t rid) {
  if (rid < kMediumRid) return IntegrityLevel::Low;
  if (rid < kHighRid) return IntegrityLevel::Medium;
  return IntegrityLevel::High;
}

std::string IntegrityStartLine(IntegrityLevel level, IntegrityProgram program) {
  switch (level) {
    case IntegrityLevel::Medium:
    case IntegrityLevel::High:
      return {};
    case IntegrityLevel::Unknown:
      return "integrity level unknown: protected mode could not be checked";
    case IntegrityLevel::Low:
      break;
  }
  if (program == IntegrityProgram::Agent)
    return "low integrity (protected mode): the agent cannot write the browser settings or Documents\\zaduze, "
           "cannot close or end other programs, and its key and mouse filters miss their input";
  return "low integrity (protected mode): the control cannot write Documents\\zaduze, and the agent it starts "
         "runs at low integrity unless the elevation policy lets the browser start it at medium integrity";
}

}  // namespace zv
