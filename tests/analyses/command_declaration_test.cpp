// A declared parameter accepts and refuses what the hand-written parsers of
// the forms did, and a declared form keeps the texts it accepted.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "analyses/command_declaration.h"
#include "analyses/dominance_command.h"
#include "analyses/purging.h"
#include "genetics/dominance.h"
#include "support/scripted_platform.h"

namespace kinvar {
namespace {

// The parsers the purging form had: the whole text as one number of the
// type, in the range.
template <class T>
bool Reads(const std::string& text, T low, T high) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

// The dominance form's smallest value: a finite double of 0 or more.
bool OldMinValue(const std::string& text) {
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= 0.0 && std::isfinite(value);
}

bool OldAccepts(const std::string& name, const std::string& text) {
  if (name == "min-value") return OldMinValue(text);
  if (name == "purging-coefficient") return Reads<float>(text, 0.0f, 0.5f);
  if (name == "gene-drop") return Reads<std::int32_t>(text, 0, kMaxGeneDrops);
  if (name == "seed") return text.empty() || Reads<std::uint32_t>(text, 0, 4294967295u);
  return true;
}

std::vector<std::string> Texts() {
  std::vector<std::string> texts{"", "0", "-0", "+1", " 1", "1 ", "0.5", "0.50000001", "0.5000001", "-0.0",
                                 "1e-1", "5e-1", "nan", "inf", "-inf", "0x1", ".25", "1.", "1000000",
                                 "1000001", "2147483647", "2147483648", "4294967295", "4294967296",
                                 "-1", "18446744073709551616", "12a", "a", "0,1", "1e6", "1e39", "1e-50",
                                 "1e309", "0.0000001"};
  // And random digits, signs and points.
  std::mt19937 random(7);
  const std::string alphabet = "0123456789.-e+";
  for (int i = 0; i < 2000; ++i) {
    std::string t;
    const int length = 1 + static_cast<int>(random() % 11);
    for (int k = 0; k < length; ++k) t += alphabet[random() % alphabet.size()];
    texts.push_back(t);
  }
  return texts;
}

TEST(DeclaredParameter, AcceptsWhatThePurgingFormAcceptedAndNothingElse) {
  const CommandDeclaration purging = PurgingDeclaration();
  for (const char* name : {"purging-coefficient", "gene-drop", "seed"}) {
    const Parameter* p = purging.Find(name);
    ASSERT_NE(p, nullptr) << name;
    for (const std::string& text : Texts())
      EXPECT_EQ(AcceptedText(*p, text).has_value(), OldAccepts(name, text)) << name << " \"" << text << "\"";
  }
}

TEST(DeclaredParameter, AcceptsWhatTheDominanceFormAcceptedAndNothingElse) {
  const CommandDeclaration dominance = DominanceDeclaration();  // outlives p
  const Parameter* p = dominance.Find("min-value");
  ASSERT_NE(p, nullptr);
  for (const std::string& text : Texts())
    EXPECT_EQ(AcceptedText(*p, text).has_value(), OldAccepts("min-value", text)) << "\"" << text << "\"";
}

TEST(DeclaredForm, RefusesTwoFlagsThatExcludeEachOther) {
  struct Row {
    const char* name;
    std::vector<std::string> texts;
    bool accepted;
    const char* message;
  };
  const Row rows[] = {
      {"triplets alone", {"0", "1", "0", "0"}, true, ""},
      {"the entire matrix alone", {"1", "0", "1", "0.5"}, true, ""},
      {"both", {"0", "1", "1", "0"}, false, "Choose triplets or the entire matrix, not both."},
      {"a bad value before both", {"0", "1", "1", "-1"}, false, kDominanceMinValueMessage},
  };
  const CommandDeclaration dominance = DominanceDeclaration();
  for (const Row& row : rows) {
    test::ScriptedPlatform platform;
    CommandValues values;
    const ValueForm form = DeclaredForm(dominance, "Dominance relationships", values, platform);
    EXPECT_EQ(form.accept(row.texts), row.accepted) << row.name;
    EXPECT_EQ(platform.JoinedTexts(MessageIcon::kError), row.message) << row.name;
    // A refused form leaves the last accepted values.
    if (row.accepted) continue;
    EXPECT_FALSE(values.Flag(dominance, "triplets")) << row.name;
  }
}

TEST(DeclaredParameter, KeepsTheTextTheRunUses) {
  struct Row {
    const char* name;
    const char* parameter;
    const char* text;
    const char* kept;
  };
  const Row rows[] = {
      {"a number as the shortest text of its float", "purging-coefficient", "0.1250", "0.125"},
      {"a number in exponent form", "purging-coefficient", "25e-2", "0.25"},
      {"a whole number without a sign", "gene-drop", "-0", "0"},
      {"a flag ticked", "all-founders", "1", "1"},
      {"a flag as anything else is not ticked", "all-founders", "yes", "0"},
      {"an empty seed for a new one", "seed", "", ""},
      {"the largest seed", "seed", "4294967295", "4294967295"},
      {"a double as typed", "min-value", "0.10", "0.10"},
  };
  const CommandDeclaration purging = PurgingDeclaration();
  const CommandDeclaration dominance = DominanceDeclaration();
  for (const Row& row : rows) {
    const Parameter* p = purging.Find(row.parameter) ? purging.Find(row.parameter) : dominance.Find(row.parameter);
    const auto kept = AcceptedText(*p, row.text);
    ASSERT_TRUE(kept.has_value()) << row.name;
    EXPECT_EQ(*kept, row.kept) << row.name;
  }
}

TEST(DeclaredForm, ShowsTheBoxesInOrderAndStoresOnlyWhatItAccepts) {
  const CommandDeclaration purging = PurgingDeclaration();
  test::ScriptedPlatform platform;
  CommandValues values;
  const ValueForm form = DeclaredForm(purging, "Caption", values, platform);
  std::vector<std::string> keys, texts;
  for (const ValueForm::Field& f : form.fields) {
    keys.push_back(f.key);
    texts.push_back(f.text);
  }
  // The seed file has no box, nor has the group its picker.
  EXPECT_EQ(keys, (std::vector<std::string>{"purging-coefficient", "gene-drop", "all-founders", "seed"}));
  EXPECT_EQ(texts, (std::vector<std::string>{"0", "0", "0", ""}));
  EXPECT_TRUE(form.fields[2].check);

  EXPECT_FALSE(form.accept({"0.25", "x", "1", ""}));
  EXPECT_EQ(platform.MessageTexts(),
            (std::vector<std::string>{"The number of gene-dropping replicates must be a whole number from 0 to 1000000."}));
  EXPECT_EQ(values.Text(purging, "purging-coefficient"), "0");

  EXPECT_TRUE(form.accept({"0.250", "12", "1", "99"}));
  EXPECT_EQ(values.Text(purging, "purging-coefficient"), "0.25");
  EXPECT_EQ(values.Number(purging, "gene-drop"), 12.0);
  EXPECT_TRUE(values.Flag(purging, "all-founders"));
  EXPECT_EQ(values.Text(purging, "seed"), "99");
  // Reopened: the last texts, but the seed box empty for a new seed.
  const ValueForm again = DeclaredForm(purging, "Caption", values, platform);
  EXPECT_EQ(again.fields[0].text, "0.25");
  EXPECT_EQ(again.fields[1].text, "12");
  EXPECT_EQ(again.fields[2].text, "1");
  EXPECT_EQ(again.fields[3].text, "");
}

}  // namespace
}  // namespace kinvar
