// The rules of the Options dialog, apart from its controls: normalising the
// range when the relationship type is switched, validating the entries, and
// which shown report a change of settings re-runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

// The largest relationship of a type: 1 for the coefficient (type 0), 2 for
// the numerator relationship (type 1).
float RelationshipMaximum(std::int32_t type);

// A click on a relationship-type button: orders and clamps the range to the
// type and keeps the two bounds apart by 0.01.
void NormalizeRangeForType(Settings& entries);

// Validation of OK and Save: swaps reversed bounds, then returns the message
// to show when the entries are rejected.
std::optional<std::string> CheckOptions(Settings& entries);

struct OptionsChanges {
  bool numberFormat = false;
  bool listFounders = false;
  bool range = false;
  bool relationshipType = false;
  bool allowForbidden = false;
  bool precision = false;  // the reports through F and D are computed again
};

OptionsChanges CompareSettings(const Settings& before, const Settings& after);

struct Rerun {
  std::int32_t command;
  bool reuseInputs;  // clear the ask-inputs flag first
};

// The re-runs, in order, for the report of `lastCommand` after a change.
std::vector<Rerun> RerunsAfterOptions(const OptionsChanges& changes, std::int32_t lastCommand);

// "fraction", "general", "fixed1".."fixed6" or a digit 0..7; nothing when it
// names no format.
std::optional<std::int32_t> ParseNumberFormat(const std::string& text);

}  // namespace kinvar
