#include "app/options.h"

#include <utility>

#include "app/commands.h"

namespace kinvar {

float RelationshipMaximum(std::int32_t type) { return type == 0 ? 1.0f : 2.0f; }

void NormalizeRangeForType(Settings& e) {
  const float maximum = RelationshipMaximum(e.relationshipType);
  if (e.relationshipUpper < e.relationshipLower) std::swap(e.relationshipLower, e.relationshipUpper);
  if (e.relationshipLower < 0.0f) e.relationshipLower = 0.0f;
  if (e.relationshipUpper > maximum) e.relationshipUpper = maximum;
  if (e.relationshipLower == e.relationshipUpper) {
    if (e.relationshipUpper == maximum)
      e.relationshipLower = e.relationshipLower - 0.01f;
    else
      e.relationshipUpper = e.relationshipUpper + 0.01f;
  }
}

std::optional<std::string> CheckOptions(Settings& e) {
  if (e.relationshipUpper < e.relationshipLower) std::swap(e.relationshipLower, e.relationshipUpper);
  // Written so that a bound that is not a number (typed "nan") is outside
  // too: every comparison with it is false.
  const float maximum = RelationshipMaximum(e.relationshipType);
  const bool outside = !(e.relationshipLower >= 0.0f) || !(e.relationshipUpper <= maximum);
  if (outside && e.relationshipType == 0)
    return "Entries for the relationship are incorrect!\nPlease enter a decimal number between 0 and 1.";
  if (outside)
    return "Entries for the relationship are incorrect!\nPlease enter a decimal number between 0 and 2.";
  if (e.relationshipLower == e.relationshipUpper)
    return "The relationships range is not valid!\nPlease enter a valid range.";
  return std::nullopt;
}

OptionsChanges CompareSettings(const Settings& before, const Settings& after) {
  OptionsChanges c;
  c.numberFormat = before.numberFormat != after.numberFormat;
  c.listFounders = before.listFounders != after.listFounders;
  c.range = before.relationshipLower != after.relationshipLower ||
            before.relationshipUpper != after.relationshipUpper;
  c.relationshipType = before.relationshipType != after.relationshipType;
  c.allowForbidden = before.allowForbidden != after.allowForbidden;
  c.precision = before.precision != after.precision;
  return c;
}

std::vector<Rerun> RerunsAfterOptions(const OptionsChanges& c, std::int32_t last) {
  std::vector<Rerun> reruns;
  auto check = [&](bool changed, std::initializer_list<std::int32_t> ids, bool reuse) {
    if (!changed) return;
    for (std::int32_t id : ids)
      if (id == last) reruns.push_back({id, reuse});
  };
  check(c.numberFormat, {kCmdViewPedigree}, false);
  check(c.numberFormat || c.precision, {kCmdCompute, kCmdDii}, false);
  check(c.numberFormat || c.listFounders, {kCmdStructure}, false);
  // Average Relatedness prints its values in the number format too; it is
  // re-run with the other average so that its report follows the setting.
  check(c.numberFormat || c.precision, {kCmdAverageBetweenGroups, kCmdAverageRelatedness}, false);
  const bool listing = c.numberFormat || c.range || c.relationshipType || c.precision;
  check(listing, {kCmdBetweenAll}, false);
  check(listing, {kCmdWithinGroup, kCmdBetweenTwoGroups}, true);
  check(c.allowForbidden, {kCmdOptimizeMatings}, true);
  check(c.numberFormat,
        {kCmdGeneOrigin, kCmdDecompositionIndividual, kCmdDecompositionGroup,
         kCmdDecompositionCoancestry, kCmdOptimizeMatings, kCmdDiversity, kCmdMeanKinship,
         kCmdMateSuitability, kCmdPurging, kCmdPlannedMating},
        true);
  check(c.precision && !c.numberFormat,
        {kCmdDecompositionIndividual, kCmdDecompositionGroup, kCmdDecompositionCoancestry}, true);
  // Path counting reruns from its remembered individual or group.
  check(c.numberFormat, {kCmdPathCountingIndividual, kCmdPathCountingGroup, kCmdPathCountingAll},
        true);
  return reruns;
}

std::optional<std::int32_t> ParseNumberFormat(const std::string& text) {
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '7') return text[0] - '0';
  if (text == "fraction") return 0;
  if (text == "general") return 1;
  if (text.size() == 6 && text.starts_with("fixed") && text[5] >= '1' && text[5] <= '6')
    return text[5] - '0' + 1;
  return std::nullopt;
}

}  // namespace kinvar
