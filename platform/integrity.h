// The integrity level a process runs at (the mandatory label of its token)
// and what the agent and the control say about it when they start.
//
// A page in a zone with protected mode runs at low integrity, and so does a
// program it starts directly. Low integrity cannot write where the user's
// programs write (the user's registry keys, Documents), cannot send input or
// messages to windows of higher integrity, and low-level hooks do not see
// input meant for them. Medium (a normal user) and high (elevated) integrity
// are what everything here is built for: nothing is said then.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

enum class IntegrityLevel { Unknown, Low, Medium, High };

// The level of a mandatory label's last sub-authority: untrusted (0x0000) and
// low (0x1000) up to medium are Low, medium (0x2000) and medium plus (0x2100)
// Medium, high (0x3000) and above (system, protected) High.
IntegrityLevel IntegrityLevelOfRid(uint32_t rid);

enum class IntegrityProgram { Agent, Control };

// The line a program logs at start about its level: what will not work at
// low integrity, that the level is not known when the token could not be
// read, and nothing (empty) at medium and high.
std::string IntegrityStartLine(IntegrityLevel level, IntegrityProgram program);

}  // namespace zv
