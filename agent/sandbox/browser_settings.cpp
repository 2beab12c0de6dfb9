#include "agent/sandbox/browser_settings.h"

namespace zv {

const std::vector<ZonePolicyValue>& TrustedZonePolicy() {
  // URL-action policies: 0 allow, 1 prompt, 3 disallow; 0x30000 low-safety
  // Java. Then the low security template level and the zone flags (custom
  // edit, sites may be added, supports verification; no server verification).
  static const std::vector<ZonePolicyValue> policy = {
      {u"1001", 0},       {u"1004", 1}, {u"1200", 0}, {u"1201", 1}, {u"1206", 0}, {u"1207", 0},
      {u"1208", 0},       {u"1209", 0}, {u"120A", 3}, {u"120B", 0}, {u"1400", 0}, {u"1402", 0},
      {u"1405", 0},       {u"1406", 0}, {u"1407", 0}, {u"1408", 0}, {u"1409", 3}, {u"1601", 0},
      {u"1604", 0},       {u"1605", 0}, {u"1606", 0}, {u"1607", 0}, {u"1608", 0}, {u"1609", 1},
      {u"160A", 0},       {u"1800", 0}, {u"1802", 0}, {u"1803", 0}, {u"1804", 0}, {u"1806", 1},
      {u"1809", 3},       {u"180B", 1}, {u"1A00", 0}, {u"1A02", 0}, {u"1A03", 0}, {u"1A04", 0},
      {u"1A05", 0},       {u"1A06", 0}, {u"1C00", 0x30000}, {u"2000", 0}, {u"2001", 0}, {u"2004", 0},
      {u"2005", 0},       {u"2007", 0x10000}, {u"2100", 0}, {u"2101", 1}, {u"2102", 0}, {u"2103", 0},
      {u"2104", 0},       {u"2105", 0}, {u"2106", 0}, {u"2107", 0}, {u"2200", 0}, {u"2201", 0},
      {u"2300", 1},       {u"2301", 3}, {u"2400", 0}, {u"2401", 0}, {u"2402", 0}, {u"2500", 3},
      {u"2600", 0},       {u"2700", 3}, {u"2702", 0}, {u"CurrentLevel", 0x10000}, {u"Flags", 0x43},
  };
  return policy;
}

ToolbarPlan PlanToolbarSettings(const std::vector<std::u16string>& existingSubkeys,
                                std::vector<std::u16string> toolbars, const NarrowText& narrow) {
  ToolbarPlan plan;
  for (const auto& subkey : existingSubkeys) {
    const std::string needle = narrow(subkey);
    for (auto it = toolbars.begin(); it != toolbars.end(); ++it) {
      if (narrow(*it).find(needle) != std::string::npos) {
        plan.update.push_back(std::move(*it));
        toolbars.erase(it);
        break;
      }
    }
  }
  plan.create = std::move(toolbars);
  return plan;
}

}  // namespace zv
