// The genotype boxes of the genomic dialogs: the genotype-qc form shows them
// as one box whose texts reach the form's check in the keys' order, the
// format list gives the form's words, and Browse offers the genotype files'
// filters.
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyses/genomic_input.h"
#include "gui/dialogs.h"
#include "gui/genotype_input_box.h"
#include "app/commands.h"
#include "gui_support.h"

namespace kinvar::gui::test {
namespace {

const std::string kHerd = std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg";
const std::string kGenotypes = std::string(KINVAR_EXAMPLES_DIR) + "/herd-genotypes.txt";

TEST(GenotypeInputBox, TextsInTheOrderOfTheDeclaredParameters) {
  GenotypeInputBox box({"g.bed", "vcf", "0.95", "0.8", "0.05"});
  EXPECT_EQ(box.texts(), (std::vector<std::string>{"g.bed", "vcf", "0.95", "0.8", "0.05"}));
  box.formatList()->setCurrentIndex(0);
  EXPECT_EQ(box.texts()[1], "");
  box.formatList()->setCurrentIndex(1);
  EXPECT_EQ(box.texts()[1], "plink");
  EXPECT_EQ(GenotypeInputBox::FileFilters().toStdString(),
            "PLINK sets (*.bed);;VCF and BCF (*.vcf *.vcf.gz *.bcf);;Text genotypes (*.txt *.dat);;All files (*)");
}

// The labels and the formats are the declaration's: a parameter's label or
// a new format shows without an edit here.
TEST(GenotypeInputBox, ShowsTheDeclaredLabelsAndFormats) {
  GenotypeInputBox box({"", "", "0.9", "0.9", "0.01"});
  const std::vector<Parameter> parameters = GenotypeParameters();
  const auto* layout = qobject_cast<QFormLayout*>(box.layout());
  ASSERT_NE(layout, nullptr);
  ASSERT_EQ(static_cast<std::size_t>(layout->rowCount()), parameters.size());
  for (int row = 0; row < layout->rowCount(); ++row) {
    const auto* label = qobject_cast<QLabel*>(layout->itemAt(row, QFormLayout::LabelRole)->widget());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), parameters[static_cast<std::size_t>(row)].label);
  }
  std::vector<std::string> formats;
  for (int k = 1; k < box.formatList()->count(); ++k)
    formats.push_back(box.formatList()->itemData(k).toString().toStdString());
  EXPECT_EQ(formats, parameters[1].choices);
}

TEST(GenotypeInputBox, TheQualityControlDialogRunsTheCommand) {
  DocumentFixture f;
  ASSERT_TRUE(f.doc.OpenPedigreeFile(kHerd));
  bool stayedOpen = false;
  WhenShown<ValueFormDialog>([&](ValueFormDialog& d) {
    auto* box = d.findChild<GenotypeInputBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(d.fields().size(), kGenotypeFieldCount);
    d.button()->click();  // no file named yet
    stayedOpen = d.isVisible();
    box->pathBox()->setText(QString::fromStdString(kGenotypes));
    d.button()->click();
  });
  f.doc.RunCommand(kCmdGenotypeQc);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(f.platform.messages, std::vector<std::string>{"Name the genotype file."});
  EXPECT_EQ(f.doc.lastCommand(), kCmdGenotypeQc);
  EXPECT_EQ(f.doc.remembered.values.Text(GenotypeQcDeclaration(), kGenotypesKey), kGenotypes);
  EXPECT_NE(f.doc.pedigree().report.tables().Find("qc"), nullptr);
}

}  // namespace
}  // namespace kinvar::gui::test
