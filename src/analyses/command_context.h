// What a command handler works with: the pedigree, the platform, and the
// document state it reads and sets. The document owns all of it and hands a
// context to the handler of the command it dispatches; handlers live with
// their analyses and ask for every input through the platform, so the
// desktop program, the command line and the tests run the same handler.
//
// Handlers follow one convention (PrepareInbreeding): code order, then the
// inbreeding coefficients when they are not computed yet. A cancel anywhere
// ends in the same state: the report holds the single cancel line and
// lastCommand is 0.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analyses/command_declaration.h"
#include "analyses/genotype_input_form.h"
#include "pedigree/pedigree.h"
#include "report/platform.h"

namespace kinvar {

inline constexpr const char* kCanceledLine = "|XProcess has been canceled by the user.";
inline constexpr const char* kCanceledMessage = "Process has been canceled by the user.";

// Inputs that commands keep for a re-run with the same inputs; forgotten when
// another pedigree is opened.
struct RememberedInputs {
  // The inputs and settings of the commands (the pickers' IDs and groups,
  // the forms' texts), by command and name, each command's apart: a re-run
  // or a Save As takes the inputs of the report it repeats or writes, not
  // those another command was given since.
  CommandValues values;
};

// The seed path of a context built without one: no file can be opened there.
inline const std::string kNoSeedFile;

struct CommandContext {
  Pedigree& ped;
  Platform& platform;
  std::int32_t& lastCommand;
  // Cleared by the Options dialog's re-run: use `remembered` instead of asking.
  bool& askInputs;
  RememberedInputs& remembered;
  const std::string& path;  // the pedigree file's full path, for file headers
  // The random generator's seed file (in the per-user program folder).
  const std::string& seedPath = kNoSeedFile;
  // The user named the seed file: it is refused unless it is a seed file.
  bool seedFileNamed = false;
};

// Code order and the coefficients, without touching the report; false when
// the user cancelled the computation.
bool EnsureInbreeding(CommandContext& ctx);
// EnsureInbreeding, showing the cancel state when it was cancelled.
bool PrepareInbreeding(CommandContext& ctx);
// The report holds only the cancel line; lastCommand is 0.
void ShowCanceled(CommandContext& ctx);

// Upper-cases `typed` (a to z only), as an ID box shows it. The text is kept
// whole, however long.
void NormalizeTypedId(std::string& typed);
// NormalizeTypedId, then returns the first record in `records`' current
// order with exactly that ID, or kUnknownParent; a text longer than any ID
// can be names nobody.
RecIndex FindTypedId(const Pedigree& ped, std::string& typed);
// The group numbers of the pedigree in ascending order.
std::vector<int> GroupNumbers(const Pedigree& ped);

// The pickers with their rules: "Cannot find individual ..." for an unknown
// ID, the same-groups error for two equal groups. Nothing on cancel.
std::optional<RecIndex> AskIndividual(CommandContext& ctx, const std::string& caption,
                                      const std::string& button);
std::optional<int> AskGroup(CommandContext& ctx, const std::string& caption,
                            const std::string& button);
// A reference population: a group or every individual (kAllIndividuals),
// asked for with the entry "All individuals", or the one `remembered` from
// the last run when the inputs are not asked; nothing when the user
// cancelled or the group is no longer in the pedigree.
std::optional<int> ChooseGroupOrAll(CommandContext& ctx, const std::string& caption,
                                    std::optional<int>& remembered);
// The same for a command that declares the group as its parameter `name`:
// the choice is kept among the command's values, "all" for every
// individual, so that the session and kinvar-cli name it as the picker does.
std::optional<int> ChooseGroupOrAll(CommandContext& ctx, const std::string& caption,
                                    const CommandDeclaration& command, const std::string& name);
// The group a command's parameter `name` holds among its values: a group
// number, or kAllIndividuals for "all"; nothing for any other text.
std::optional<int> GroupValue(const CommandValues& values, const CommandDeclaration& command,
                              const std::string& name);
// The group number a command's parameter `name` holds, -1 when it holds none.
int GroupNumber(const CommandValues& values, const CommandDeclaration& command, const std::string& name);
std::optional<std::pair<int, int>> AskTwoGroups(CommandContext& ctx, const std::string& caption);

}  // namespace kinvar
