// The genotype boxes of the genomic dialogs: the genotype-qc form shows them
// as one box whose texts reach the form's check in the keys' order, the
// format list gives the form's words, and Browse offers the genotype files'
// filters.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>

#include "gui/dialogs.h"
#include "gui/genotype_input_box.h"
#include "app/commands.h"
#include "gui_support.h"

namespace kinvar::gui::test {
namespace {

const std::string kHerd = std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg";
const std::string kGenotypes = std::string(KINVAR_EXAMPLES_DIR) + "/herd-genotypes.txt";

TEST(GenotypeInputBox, TextsInTheOrderOfTheFormsKeys) {
  GenotypeInputBox box({"g.bed", "vcf", "0.95", "0.8", "0.05"});
  const GenotypeFormTexts texts = box.texts();
  EXPECT_EQ(texts.path, "g.bed");
  EXPECT_EQ(texts.format, "vcf");
  EXPECT_EQ(texts.minSnpCallRate, "0.95");
  EXPECT_EQ(texts.minAnimalCallRate, "0.8");
  EXPECT_EQ(texts.minMaf, "0.05");
  box.formatList()->setCurrentIndex(0);
  EXPECT_EQ(box.texts().format, "");
  box.formatList()->setCurrentIndex(1);
  EXPECT_EQ(box.texts().format, "plink");
  EXPECT_EQ(GenotypeInputBox::FileFilters().toStdString(),
            "PLINK sets (*.bed);;VCF and BCF (*.vcf *.vcf.gz *.bcf);;Text genotypes (*.txt *.dat);;All files (*)");
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
  EXPECT_EQ(f.doc.remembered.genotypes.path, kGenotypes);
  EXPECT_NE(f.doc.pedigree().report.tables().Find("qc"), nullptr);
}

}  // namespace
}  // namespace kinvar::gui::test
