#include "mod/check_run.h"

#include <algorithm>

CheckOutcome RunChecks(const GameSources& Sources, const CheckConfig& Config, const CheckControl& Control) {
  CheckOutcome outcome = CheckSources(Sources, Control);
  std::vector<CheckFinding>& kept = outcome.Findings;
  kept.erase(std::remove_if(kept.begin(), kept.end(),
                            [&](const CheckFinding& f) { return SilencedByConfig(Config, f); }),
             kept.end());
  return outcome;
}
