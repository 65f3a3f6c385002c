// The declarations of the commands: each names a command of the table once,
// its parameters are told apart by every front end, and the session takes
// its keywords as R and Python pass them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/parentage_report.h"
#include "app/command_declarations.h"
#include "app/command_handlers.h"
#include "app/commands.h"
#include "app/document.h"
#include "app/save_as.h"
#include "app/session.h"
#include "app/table_export.h"
#include "support/doc_session.h"
#include "support/table_cells.h"

namespace kinvar {
namespace {

TEST(CommandDeclarations, NameCommandsOfTheTableOnceEach) {
  std::set<std::int32_t> ids;
  std::set<std::string> names;
  for (const CommandDeclaration& d : CommandDeclarations()) {
    SCOPED_TRACE(d.name);
    EXPECT_NE(FindCommand(d.id), nullptr);
    EXPECT_TRUE(ids.insert(d.id).second);
    EXPECT_TRUE(names.insert(d.FullName()).second);
    ASSERT_TRUE(FindDeclaration(d.id).has_value());
    ASSERT_TRUE(FindDeclaration(d.FullName()).has_value());
    EXPECT_EQ(FindDeclaration(d.FullName())->id, d.id);
  }
  EXPECT_FALSE(FindDeclaration(-7).has_value());
  EXPECT_FALSE(FindDeclaration("no-such-command").has_value());
}

// A declaration is all the front ends need of a command besides its manual
// page: the document runs its handler, kinvar-cli tells its help, and an
// exported table names it.
TEST(CommandDeclarations, CarryTheHandlerTheHelpAndTheName) {
  // The listings and the inbreeding report the document writes itself.
  const std::set<std::int32_t> answeredByTheDocument = {kCmdViewPedigree, kCmdRecoding, kCmdCompute,
                                                        kCmdRecompute};
  // What Save As writes after the reports that are not their copy file.
  const std::map<std::int32_t, SaveBody> ownFiles = {
      {kCmdViewPedigree, SaveBody::kPedigreeFile}, {kCmdRecoding, SaveBody::kRecodedFile},
      {kCmdCompute, SaveBody::kInbreds},           {kCmdRecompute, SaveBody::kInbreds},
      {kCmdDii, SaveBody::kDii},
  };
  for (const CommandDeclaration& d : CommandDeclarations()) {
    SCOPED_TRACE(d.name);
    EXPECT_FALSE(d.summary.empty());
    EXPECT_FALSE(d.explanation.empty());
    EXPECT_NE(d.explanation.back(), '\n');
    if (d.output == CommandOutput::kValue || answeredByTheDocument.count(d.id) != 0) {
      // The document shows the value's dialog, or writes the report.
      EXPECT_EQ(d.run, nullptr);
      EXPECT_EQ(AnalysisHandler(d.id), nullptr);
      EXPECT_TRUE(Document::HasHandler(d.id));
    } else {
      ASSERT_NE(d.run, nullptr);
      EXPECT_EQ(AnalysisHandler(d.id), d.run);
    }
    EXPECT_EQ(TablesCommandName(d.id), d.name);
    // Save As writes a report whole from its copy file; path counting
    // writes its paths again, every one of them.
    if (d.output == CommandOutput::kReport && d.name != "path-counting") {
      const auto own = ownFiles.find(d.id);
      EXPECT_EQ(SaveBodyFor(d.id, 1), own == ownFiles.end() ? SaveBody::kCopyFile : own->second);
    }
  }
}

TEST(CommandDeclarations, TellEveryParameterApartAndAcceptTheirDefaults) {
  for (const CommandDeclaration& d : CommandDeclarations()) {
    std::set<std::string> names, keywords;
    for (const Parameter& p : d.parameters) {
      SCOPED_TRACE(d.name + " " + p.name);
      EXPECT_TRUE(names.insert(p.name).second);
      if (!KeywordOf(p).empty()) {
        EXPECT_TRUE(keywords.insert(KeywordOf(p)).second);
      }
      EXPECT_FALSE(p.help.empty());
      // A box or a check box of the form.
      const bool boxed = !p.positional && (p.control == Control::kBox || p.control == Control::kCheck ||
                                           p.control == Control::kReadFile || p.control == Control::kWriteFile);
      if (!boxed) continue;
      EXPECT_FALSE(p.label.empty());
      // A flag that excludes another says why the form refuses the two; an
      // option that excludes another names one before it, as kinvar-cli
      // needs it.
      if (!p.excludes.empty()) {
        ASSERT_NE(d.Find(p.excludes), nullptr);
        EXPECT_LT(d.Find(p.excludes), &p);
        if (p.type == ParameterType::kFlag) {
          EXPECT_FALSE(p.refusal.empty());
        }
      }
      EXPECT_EQ(AcceptedText(p, p.defaultText), p.defaultText);
    }
  }
}

// A parameter that kinvar-cli takes as the words of another (SIRE DAM,
// --sire-parents S D) names parameters of its own command, which the form
// shows and which have no option of their own: a misspelt part would lose
// its word without a word said.
TEST(CommandDeclarations, PartsNameParametersOfTheirCommandWithoutOptionsOfTheirOwn) {
  std::size_t parts = 0;
  for (const CommandDeclaration& d : CommandDeclarations()) {
    const std::string table = OptionTable(d);
    for (const Parameter& p : d.parameters) {
      SCOPED_TRACE(d.name + " " + p.name);
      EXPECT_EQ(d.OnCommandLine(p), !p.desktopOnly && std::none_of(d.parameters.begin(), d.parameters.end(),
                                                                   [&p](const Parameter& q) {
                                                                     return std::find(q.parts.begin(), q.parts.end(),
                                                                                      p.name) != q.parts.end();
                                                                   }));
      for (const std::string& part : p.parts) {
        ++parts;
        const Parameter* q = d.Find(part);
        ASSERT_NE(q, nullptr) << part;
        EXPECT_FALSE(q->positional) << part;
        EXPECT_TRUE(q->parts.empty()) << part;
        EXPECT_FALSE(d.OnCommandLine(*q)) << part;
        EXPECT_EQ(table.find("| `--" + part + "`"), std::string::npos) << part;
        EXPECT_EQ(table.find("| `--" + part + " "), std::string::npos) << part;
      }
    }
  }
  EXPECT_EQ(parts, 6u);  // the planned mating's sire, dam and the new parents' parents
}

// A command run again without asking (the Options dialog's re-run) takes
// the input its picker gave last, kept among the declared values by the
// parameter's name, and writes the report it wrote then.
TEST(DeclaredInputs, ARerunWithoutAskingTakesThePickedInputAgain) {
  struct Row {
    const char* name;
    std::int32_t command;
    const char* typedId;      // for an individual picker
    std::optional<int> group; // for a group picker
    const char* parameter;
    const char* kept;         // the value's text after the run
  };
  const Row rows[] = {
      {"decomposition of an individual", kCmdDecompositionIndividual, "c4", std::nullopt, "id", "C4"},
      {"decomposition of a group", kCmdDecompositionGroup, "", 3, "group", "3"},
      {"coancestry of a group", kCmdDecompositionCoancestry, "", 2, "group", "2"},
      {"path counting of an individual", kCmdPathCountingIndividual, "c4", std::nullopt, "id", "C4"},
      {"path counting of a group", kCmdPathCountingGroup, "", 3, "group", "3"},
      {"mean kinship of a group", kCmdMeanKinship, "", 3, "group", "3"},
      {"mean kinship of everybody", kCmdMeanKinship, "", kAllIndividuals, "group", "all"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::DocSession s;
    ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
    if (row.group) s.platform.groupChoices.push_back(row.group);
    else s.platform.typedIds.push_back(row.typedId);
    s.doc.RunCommand(row.command);
    ASSERT_EQ(s.doc.lastCommand(), row.command);
    const std::vector<std::string> first = s.Report();
    const auto declaration = FindDeclaration(row.command);
    ASSERT_TRUE(declaration.has_value());
    EXPECT_EQ(s.doc.remembered.values.Text(*declaration, row.parameter), row.kept);
    s.doc.RunCommand(kCmdViewPedigree);
    s.doc.askInputs = false;
    s.doc.RunCommand(row.command);
    EXPECT_EQ(s.doc.lastCommand(), row.command);
    EXPECT_EQ(s.Report(), first);
    EXPECT_TRUE(s.platform.typedIds.empty() && s.platform.groupChoices.empty());
  }
}

// The group commands keep their groups apart: the groups another command
// was given since, in a run that stopped before its report, change neither
// the re-run without asking nor the Save As of the report on screen.
TEST(DeclaredInputs, ARerunTakesTheCommandsOwnGroupsNotThoseGivenToAnotherSince) {
  struct Row {
    const char* name;
    std::int32_t command;
    std::optional<int> group;                 // for a one-group picker
    std::optional<std::pair<int, int>> pair;  // for a two-group picker
    std::map<std::string, std::string> kept;  // the values' texts after the run
  };
  const Row rows[] = {
      {"relationships within a group", kCmdWithinGroup, 3, std::nullopt, {{"group", "3"}}},
      {"relationships between two groups", kCmdBetweenTwoGroups, std::nullopt, std::pair{3, 1},
       {{"group1", "3"}, {"group2", "1"}}},
      {"mate suitability", kCmdMateSuitability, std::nullopt, std::pair{3, 2}, {{"sires", "3"}, {"dams", "2"}}},
  };
  // The file after its header, which tells the time.
  const auto body = [](const std::string& file) { return file.substr(std::min(file.find("\n\n"), file.size())); };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::DocSession s;
    ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
    if (row.group) s.platform.groupChoices.push_back(row.group);
    if (row.pair) s.platform.groupPairs.push_back(row.pair);
    s.doc.RunCommand(row.command);
    ASSERT_EQ(s.doc.lastCommand(), row.command);
    const std::vector<std::string> first = s.Report();
    // The matrix, for the listings.
    const std::string saved = body(s.SaveAs(2));
    const auto declaration = FindDeclaration(row.command);
    ASSERT_TRUE(declaration.has_value());
    for (const auto& [name, text] : row.kept) EXPECT_EQ(s.doc.remembered.values.Text(*declaration, name), text) << name;
    // Sire group 1 holds dams: the matings stop before their report.
    s.platform.groupPairs.push_back(std::pair{1, 2});
    s.doc.RunCommand(kCmdOptimizeMatings);
    ASSERT_TRUE(s.platform.groupPairs.empty());
    ASSERT_EQ(s.doc.lastCommand(), row.command);
    EXPECT_EQ(body(s.SaveAs(2)), saved);
    s.doc.askInputs = false;
    s.doc.RunCommand(row.command);
    EXPECT_EQ(s.doc.lastCommand(), row.command);
    EXPECT_EQ(s.Report(), first);
    EXPECT_TRUE(s.platform.groupChoices.empty() && s.platform.groupPairs.empty());
  }
}

TEST(SessionKeywords, AreThoseOfTheDeclarationWithTheirDefaults) {
  EXPECT_EQ(Session::Keywords("purging"),
            (std::vector<std::pair<std::string, std::string>>{{"group", "all"},
                                                               {"purging_coefficient", "0"},
                                                               {"gene_drops", "0"},
                                                               {"all_founders", "0"},
                                                               {"seed", ""}}));
  EXPECT_TRUE(Session::Keywords("no-such-command").empty());
}

TEST(SessionKeywords, GiveTheFiguresOfTheTypedRequest) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  const ResultSet typed = s->Purging({3, 0.25, 40, true, 11});
  const ResultSet keywords = s->RunDeclared(
      "purging", {{"group", "3"}, {"purging_coefficient", "0.25"}, {"gene_drops", "40"}, {"all_founders", "1"},
                  {"seed", "11"}});
  ASSERT_EQ(test::TableNames(typed), test::TableNames(keywords));
  for (const ResultTable& t : typed.tables()) {
    SCOPED_TRACE(t.name());
    const ResultTable* other = keywords.Find(t.name());
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(test::Schema(t), test::Schema(*other));
    ASSERT_EQ(t.rows(), other->rows());
    for (std::size_t c = 0; c < t.columns().size(); ++c) {
      const TableColumn& a = t.column(c);
      const TableColumn& b = other->column(c);
      for (std::size_t r = 0; r < t.rows(); ++r) {
        if (a.IsText()) {
          EXPECT_EQ(a.Text(r), b.Text(r)) << a.name() << " row " << r;
        } else if (a.type() == ColumnType::kReal) {
          if (std::isnan(a.Real(r))) continue;
          EXPECT_EQ(a.Real(r), b.Real(r)) << a.name() << " row " << r;
        } else {
          EXPECT_EQ(a.Integer(r), b.Integer(r)) << a.name() << " row " << r;
        }
      }
    }
  }
  // Left out, every keyword takes its default: every individual, d = 0.
  const ResultSet defaults = s->RunDeclared("purging", {});
  EXPECT_EQ(test::TableNames(defaults), test::TableNames(s->Purging({})));
}

TEST(SessionKeywords, RefuseOneTheCommandDoesNotTake) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  EXPECT_THROW(s->RunDeclared("purging", {{"gene_drop", "3"}}), std::invalid_argument);
  EXPECT_THROW(s->RunDeclared("purging", {{"seed-file", "x"}}), std::invalid_argument);
  EXPECT_THROW(s->RunDeclared("no-such-command", {}), std::invalid_argument);
}

}  // namespace
}  // namespace kinvar
