#include "matings/mating_files.h"

#include <limits>
#include <memory>
#include <unordered_map>

#include "pedigree/number_text.h"
#include "pedigree/side_file.h"
#include "report/output_file.h"

namespace kinvar {

namespace {

using IdIndex = std::unordered_map<std::string_view, std::int32_t>;

IdIndex IndexIds(const Pedigree& ped, const std::vector<RecIndex>& members) {
  IdIndex index;
  index.reserve(members.size());
  for (std::size_t i = 0; i < members.size(); ++i)
    index.emplace(ped.rec(members[i]).Id(), static_cast<std::int32_t>(i));
  return index;
}

std::optional<std::int32_t> Find(const IdIndex& index, const std::string& id) {
  const auto it = index.find(id);
  if (it == index.end()) return std::nullopt;
  return it->second;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  return line;
}

struct NumberedLine {
  int number;
  std::string text;  // trimmed
};

// The data lines of a file, with their numbers; nothing after showing why
// the file cannot be read.
std::optional<std::vector<NumberedLine>> ReadDataLines(const std::string& path, Platform& platform) {
  std::vector<NumberedLine> lines;
  const SideFileResult read = ReadSideFileLines(path, [&](std::string_view line, std::int64_t number) {
    const std::string_view text = Trim(line);
    if (!text.empty() && text.front() != '!') lines.push_back({static_cast<int>(number), std::string(text)});
    return true;
  });
  if (!read.ok()) {
    platform.ShowMessage(read.message, MessageIcon::kError);
    return std::nullopt;
  }
  return lines;
}

std::string LineError(int line, const std::string& what) {
  return "Error in line " + std::to_string(line) + ".\n" + what;
}

// The whole field as a count: an optional sign and digits, nothing else.
// Counts beyond 32 bits are held at the 32-bit limit, where the sum check
// refuses them.
std::optional<std::int64_t> WholeCount(const std::string& field) {
  if (const auto value = WholeInteger(field, std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max()))
    return value;
  const std::size_t digits = field.empty() || field[0] == '-' || field[0] == '+' ? 1 : 0;
  if (field.size() <= digits || field.find_first_not_of("0123456789", digits) != std::string::npos)
    return std::nullopt;
  return field[0] == '-' ? std::numeric_limits<std::int32_t>::min()
                         : std::numeric_limits<std::int32_t>::max();
}

// The second field of a line as the user wrote it, not upper-cased.
std::string_view SecondFieldAsWritten(std::string_view line) {
  const auto separator = [](char c) { return c == ' ' || c == ',' || c == '\t'; };
  std::size_t i = 0;
  while (i < line.size() && separator(line[i])) ++i;
  while (i < line.size() && !separator(line[i])) ++i;
  while (i < line.size() && separator(line[i])) ++i;
  std::size_t end = i;
  while (end < line.size() && !separator(line[end])) ++end;
  return line.substr(i, end - i);
}

// Shows why the file is refused; a reader returns what this returns.
std::nullopt_t Fail(Platform& platform, const std::string& message) {
  platform.ShowMessage(message, MessageIcon::kError);
  return std::nullopt;
}

}  // namespace

int SplitTwoFields(std::string_view line, std::string& first, std::string& second,
                   int lineNumber, Platform& platform) {
  first.clear();
  second.clear();
  int found = 0;
  bool open = false;
  for (const char raw : line) {
    if (raw == ' ' || raw == ',' || raw == '\t') {
      if (open && ++found == 2) return 2;
      open = false;
      continue;
    }
    std::string& field = found == 0 ? first : second;
    open = true;
    field += raw >= 'a' && raw <= 'z' ? static_cast<char>(raw - 'a' + 'A') : raw;
    if (raw == '<' || raw == '>' || raw == '|' || raw == '!') {
      Fail(platform, LineError(lineNumber, "These characters   '<'   '>'   '|'   '!'   are not "
                                           "permitted."));
      return -1;
    }
    if (field.size() > static_cast<std::size_t>(kMaxIdLength)) {
      Fail(platform, LineError(lineNumber, "The length of each field should not be more than " +
                                               std::to_string(kMaxIdLength) + "."));
      return -1;
    }
  }
  return open ? found + 1 : found;
}

std::optional<std::vector<std::int32_t>> ReadContributionFile(const std::string& path,
                                                              const Pedigree& ped,
                                                              const MatingGroups& groups,
                                                              Platform& platform) {
  const auto lines = ReadDataLines(path, platform);
  if (!lines) return std::nullopt;
  const IdIndex sires = IndexIds(ped, groups.sires);
  std::vector<std::int32_t> contributions(groups.sires.size(), -1);
  std::int64_t sum = 0;
  std::string id, count;
  for (const auto& [number, text] : *lines) {
    const int fields = SplitTwoFields(text, id, count, number, platform);
    if (fields == -1) return std::nullopt;
    if (fields < 2) return Fail(platform, LineError(number, "The format is not correct."));
    // A sire with 0 matings takes part in no mating: what optimum
    // contributions write for the candidates they leave out.
    const auto c = WholeCount(count);
    if (!c)
      return Fail(platform, LineError(number, "The contribution " + QuotedCell(SecondFieldAsWritten(text)) +
                                                  " in column 2 of " + path + " is not a whole number."));
    if (*c < 0) return Fail(platform, LineError(number, "Contribution cannot be negative."));
    const auto sire = Find(sires, id);
    if (!sire)
      return Fail(platform, LineError(number, "Individual " + id + " does not belong to Group " +
                                                  std::to_string(groups.sireGroup) + "."));
    std::int32_t& slot = contributions[static_cast<std::size_t>(*sire)];
    if (slot != -1) return Fail(platform, LineError(number, "Repeated ID!"));
    slot = static_cast<std::int32_t>(*c);
    sum += *c;
  }
  const std::string sireGroup = std::to_string(groups.sireGroup);
  if (lines->empty()) return Fail(platform, "File is empty.");
  if (lines->size() != groups.sires.size())
    return Fail(platform, "Error: The number of individuals in the Contribution file is not equal "
                          "to the number of individuals in Group " + sireGroup + "!");
  if (sum != static_cast<std::int64_t>(groups.dams.size()))
    return Fail(platform, "Error: Sum of contribution of sires (Group " + sireGroup +
                              ") is not equal to the number of dams (Group " +
                              std::to_string(groups.damGroup) + ").");
  return contributions;
}

namespace {

// One pair of the second pass: A in whichever group it belongs to, B in the
// slot left free, looked up first in the other group.
std::optional<Mating> ResolvePair(const std::string& a, const std::string& b, int number,
                                  const IdIndex& sires, const IdIndex& dams,
                                  const MatingGroups& groups, Platform& platform) {
  const auto notFound = [&](const std::string& id) {
    return Fail(platform, LineError(number, "Individual " + id + " belongs to neither group " +
                                                std::to_string(groups.sireGroup) + " nor group " +
                                                std::to_string(groups.damGroup) + "."));
  };
  if (a == b) return Fail(platform, LineError(number, "The two mates have the same ID!"));
  const auto aSire = Find(sires, a);
  const auto aDam = aSire ? std::nullopt : Find(dams, a);
  if (!aSire && !aDam) return notFound(a);
  const IdIndex& preferred = aSire ? dams : sires;
  const IdIndex& other = aSire ? sires : dams;
  auto bInPreferred = Find(preferred, b);
  if (!bInPreferred && !Find(other, b)) return notFound(b);
  if (!bInPreferred)
    return Fail(platform, "Error: Sex conflict! (Line: " + std::to_string(number) +
                              ")\nIndividuals " + a + " and " + b + " belong to the same group.");
  return aSire ? Mating{*aSire, *bInPreferred} : Mating{*bInPreferred, *aDam};
}

}  // namespace

std::optional<std::vector<Mating>> ReadForbiddenFile(const std::string& path,
                                                     const Pedigree& ped,
                                                     const MatingGroups& groups,
                                                     Platform& platform) {
  const auto lines = ReadDataLines(path, platform);
  if (!lines) return std::nullopt;
  // Every line's form is checked before any ID is looked up.
  std::vector<std::pair<std::string, std::string>> fields(lines->size());
  for (std::size_t i = 0; i < lines->size(); ++i) {
    const auto& [number, text] = (*lines)[i];
    const int found = SplitTwoFields(text, fields[i].first, fields[i].second, number, platform);
    if (found == -1) return std::nullopt;
    if (found < 2) return Fail(platform, LineError(number, "The format is not correct."));
  }
  if (lines->empty()) return Fail(platform, "File is empty.");
  const IdIndex sires = IndexIds(ped, groups.sires);
  const IdIndex dams = IndexIds(ped, groups.dams);
  std::vector<Mating> pairs;
  pairs.reserve(lines->size());
  for (std::size_t i = 0; i < lines->size(); ++i) {
    const auto pair = ResolvePair(fields[i].first, fields[i].second, (*lines)[i].number, sires,
                                  dams, groups, platform);
    if (!pair) return std::nullopt;
    pairs.push_back(*pair);
  }
  return pairs;
}

std::string StartingContributions(const Pedigree& ped, const MatingGroups& groups) {
  const std::size_t sires = groups.sires.size();
  const std::size_t dams = groups.dams.size();
  const std::string sireGroup = std::to_string(groups.sireGroup);
  const std::string damGroup = std::to_string(groups.damGroup);
  std::string text =
      "! Contribution file of Optimizing Matings: one line per sire of group " + sireGroup +
      ",\n! its ID and the number of dams of group " + damGroup + " it is mated with (0: none).\n" +
      "! The numbers add up to " + std::to_string(dams) + ", the dams of group " + damGroup +
      ", so that every dam has one mating.\n! Lines that start with ! are comments.\n";
  for (std::size_t i = 0; i < sires; ++i) {
    const std::size_t share = dams / sires + (i < dams % sires ? 1 : 0);
    text += std::string(ped.rec(groups.sires[i]).Id()) + " " + std::to_string(share) + "\n";
  }
  return text;
}

bool WriteStartingContributions(const std::string& path, const Pedigree& ped,
                                const MatingGroups& groups, Platform& platform) {
  const std::unique_ptr<OutputFile> out = OpenOutputFile(path, platform);
  if (!out) return false;
  out->Raw(StartingContributions(ped, groups));
  return CommitOutputFile(*out, platform);
}

std::string ContributionFileNote(const MatingGroups& groups) {
  return "A contribution file (.c) is a text file, not a program: one line per sire of group " +
         std::to_string(groups.sireGroup) + ", its ID and how many of the " +
         std::to_string(groups.dams.size()) + " dams of group " + std::to_string(groups.damGroup) +
         " it is mated with; the numbers add up to " + std::to_string(groups.dams.size()) + ".";
}

}  // namespace kinvar
