// After Tools > Genomics > Parentage: a window of the parents the SNPs
// flag, those excluded and those unknown, each with the likeliest parent
// the search found among the genotyped animals. A double click on a row, or
// Pedigree Chart, opens the pedigree chart of its animal, where the breeder
// sees the recorded parents beside the ones the SNPs point to.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace kinvar {
class Document;
class ResultSet;
}  // namespace kinvar

namespace kinvar::gui {

class MainWindow;

// One row of the `parentage` table whose verdict is excluded or unknown.
// Rates are NaN where the table has none.
struct FlaggedParent {
  std::string animal;
  std::string role;      // sire or dam
  std::string verdict;   // excluded or unknown
  std::string recorded;  // empty when unknown
  double rate = 0;
  std::string best;      // empty when no candidate
  double bestRate = 0;
  double runnerUpRate = 0;
};

// In the table's order (the animals' genotype rows, the sire before the dam).
std::vector<FlaggedParent> FlaggedParents(const ResultSet& parentage);

class ParentageWindow : public QDialog {
  Q_OBJECT

 public:
  // `openChart` opens the pedigree chart of an animal by its ID.
  ParentageWindow(std::vector<FlaggedParent> rows, std::function<void(const std::string&)> openChart,
                  QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  QPushButton* chartButton() const { return chart_; }
  const std::vector<FlaggedParent>& rows() const { return rows_; }
  // The animal of the current row; empty without one.
  std::string CurrentAnimal() const;
  // The pedigree chart of the current row's animal.
  void OpenChart();

 private:
  std::vector<FlaggedParent> rows_;
  std::function<void(const std::string&)> openChart_;
  QTableWidget* table_;
  QPushButton* chart_;
};

// After a run of Parentage in `frame`: the flagged parents in a window of
// their own above it. Nothing after a cancel or a refusal; with nothing
// flagged the status bar says so instead.
ParentageWindow* ShowParentageWindow(MainWindow& frame, Document& doc);

}  // namespace kinvar::gui
