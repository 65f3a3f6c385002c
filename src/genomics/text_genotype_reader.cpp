#include <array>
#include <string>
#include <unordered_map>

#include "genomics/genotype_reader.h"
#include "pedigree/number_text.h"
#include "pedigree/pedigree.h"
#include "pedigree/side_file.h"

namespace kinvar {

namespace {

constexpr std::uint8_t kNotAGenotype = 255;

// What each character of a genotype string stands for.
std::array<std::uint8_t, 256> CharacterCodes() {
  std::array<std::uint8_t, 256> codes{};
  codes.fill(kNotAGenotype);
  codes['0'] = 0;
  codes['1'] = 1;
  codes['2'] = 2;
  codes['5'] = kMissingGenotype;
  codes['9'] = kMissingGenotype;
  return codes;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view NextWord(std::string_view line, std::size_t& at) {
  while (at < line.size() && IsBlank(line[at])) ++at;
  const std::size_t start = at;
  while (at < line.size() && !IsBlank(line[at])) ++at;
  return line.substr(start, at - start);
}

// Takes the lines one by one; stops at the first damaged one.
class TextParser {
 public:
  explicit TextParser(const std::string& name) : name_(name), codes_(CharacterCodes()) {}

  bool Line(std::string_view line, std::int64_t number) {
    std::size_t at = 0;
    const std::string_view id = NextWord(line, at);
    if (id.empty()) return true;
    const std::string_view calls = NextWord(line, at);
    if (calls.empty()) return Fail(number, "The line holds an ID but no genotypes.");
    if (!NextWord(line, at).empty())
      return Fail(number, "The line holds more than an ID and one string of genotypes.");
    return Take(id, calls, number);
  }

  GenotypeFile Finish() {
    if (file_.error.empty() && file_.genotypes.ids.empty())
      file_.error = "Error: " + name_ + " holds no genotypes.";
    if (!file_.error.empty()) return GenotypeFile{{}, {}, 0, std::move(file_.error)};
    for (std::int64_t j = 0; j < snpCount_; ++j)
      file_.genotypes.snps.push_back(SnpInfo{"", "SNP" + std::to_string(j + 1), 0, "", ""});
    return std::move(file_);
  }

 private:
  bool Take(std::string_view id, std::string_view calls, std::int64_t number) {
    const auto count = static_cast<std::int64_t>(calls.size());
    if (file_.genotypes.ids.empty()) {
      snpCount_ = count;
      firstLine_ = number;
    } else if (count != snpCount_) {
      return Fail(number, "The line holds " + std::to_string(count) + (count == 1 ? " genotype" : " genotypes") +
                              " where line " +
                              std::to_string(firstLine_) + " holds " + std::to_string(snpCount_) + ".");
    }
    const auto [seen, fresh] = lineOfId_.emplace(UpperCased(id), number);
    if (!fresh)
      return Fail(number, "The animal " + QuotedCell(id) + " has genotypes in line " +
                              std::to_string(seen->second) + " already.");
    std::vector<std::uint8_t>& out = file_.genotypes.codes;
    const std::size_t base = out.size();
    out.resize(base + calls.size());
    for (std::size_t j = 0; j < calls.size(); ++j) {
      const std::uint8_t code = codes_[static_cast<unsigned char>(calls[j])];
      if (code == kNotAGenotype)
        return Fail(number, "The genotype " + QuotedCell(calls.substr(j, 1)) + " (number " + std::to_string(j + 1) +
                                " of the line) is not 0, 1, 2, 5 or 9.");
      out[base + j] = code;
    }
    file_.genotypes.ids.emplace_back(id);
    file_.places.push_back(number);
    return true;
  }

  bool Fail(std::int64_t number, const std::string& what) {
    file_.error = "Error in line " + std::to_string(number) + " of " + name_ + ".\n" + what;
    return false;
  }

  const std::string& name_;
  const std::array<std::uint8_t, 256> codes_;
  GenotypeFile file_;
  std::int64_t snpCount_ = 0;
  std::int64_t firstLine_ = 0;
  std::unordered_map<std::string, std::int64_t> lineOfId_;
};

}  // namespace

GenotypeFile ParseTextGenotypes(std::string_view text, const std::string& name) {
  TextParser parser(name);
  std::int64_t number = 1;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (line.find('\0') != std::string_view::npos)
      return GenotypeFile{{}, {}, 0, name + " is not a text file: line " + std::to_string(number) +
                                             " holds a zero byte."};
    if (!parser.Line(line, number++)) break;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parser.Finish();
}

GenotypeFile ReadTextGenotypes(const std::string& path, Progress& progress) {
  TextParser parser(path);
  progress.SetStage(0, 100, 0, "Reading " + path);
  // A high-density chip has some 800,000 SNPs a line and a herd's file
  // many gigabytes; the limits only stop a device or a binary file.
  SideFileLimits limits;
  limits.maxLineBytes = std::size_t{64} << 20;
  limits.maxFileBytes = std::uint64_t{1} << 44;
  const SideFileResult read = ReadSideFileLines(
      path, [&](std::string_view line, std::int64_t number) { return parser.Line(line, number); }, limits);
  if (!read.ok()) return GenotypeFile{{}, {}, 0, read.message};
  return parser.Finish();
}

}  // namespace kinvar
