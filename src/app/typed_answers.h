// Dialogs answered from what was typed in advance: the IDs and group numbers
// of the pickers in the order a command asks for them, and the value forms'
// boxes by key. kinvar-cli takes them from its arguments and the library
// session from the call; both refuse what the dialog would refuse.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "report/platform.h"

namespace kinvar {

// The next answer, or nothing (a cancel) when there is none left.
std::optional<std::string> TakeAnswer(std::deque<std::string>& answers);

std::optional<std::string> PickIndividualFrom(std::deque<std::string>& answers,
                                              const IndividualPicker& picker);
// A group number as typed, checked against the groups of the picker as the
// drop-down list would; "all" is the list's entry for every individual
// where it has one. An unknown group is told through `platform`.
std::optional<int> PickGroupFrom(std::deque<std::string>& answers, const GroupPicker& picker,
                                 Platform& platform);
std::optional<std::pair<int, int>> PickTwoGroupsFrom(std::deque<std::string>& answers,
                                                     const GroupPicker& picker, Platform& platform);
// The form's texts, each replaced by the value of its key when one is
// given; then the form's own check.
bool AskValuesFrom(const std::map<std::string, std::string>& values, const ValueForm& form);

}  // namespace kinvar
