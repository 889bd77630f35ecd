// Fuzz target: the emulator's scenario text. It parses or raises the emulator's error naming the line,
// and every plan it yields holds values that the emulator can send.
#include <stdexcept>
#include <string>

#include "fuzz/targets.h"
#include "tools/emulator/scenario.h"

namespace sd::fuzz {
namespace {

void CheckPlan(const emulator::ReplyPlan& plan) {
  if (plan.delay_ms) Check(*plan.delay_ms >= 0, "a negative delay");
  if (plan.card) Check(*plan.card >= 0 && *plan.card < (std::int64_t{1} << 40), "a card beyond 40 bits");
  if (plan.fault) Check(std::string(emulator::FaultName(*plan.fault)) != "?", "a fault without a name");
}

}  // namespace

void FuzzScenario(Input input) {
  emulator::Scenario scenario;
  try {
    scenario = emulator::ParseScenario(AsText(input));
  } catch (const std::runtime_error& e) {
    Check(std::string(e.what()).rfind("scenario line ", 0) == 0, std::string("an error without its line: ") + e.what());
    return;
  }
  CheckPlan(scenario.defaults);
  for (const auto& [number, plan] : scenario.requests) {
    Check(number >= 1, "a request rule numbered below 1");
    CheckPlan(plan);
    CheckPlan(scenario.PlanFor(number, 0));
  }
  for (const auto& [wallet, plan] : scenario.wallets) {
    Check(wallet >= 0 && wallet <= 255, "a wallet rule outside 0..255");
    CheckPlan(plan);
  }
}

}  // namespace sd::fuzz
