// A read-only look at the pedigree file behind a validation message: the
// file's lines (a workbook sheet's rows as text) with their numbers,
// scrolled to the line the message names and highlighting it.
//
// The file is read once into memory and cut into lines as the reader cuts
// them (line feed, carriage return and line feed, or carriage return
// alone), so that the numbers agree with the messages; the list shows only
// the lines in sight, so a file of millions of lines opens at once.
#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QDialog>
#include <QString>
#include <cstdint>
#include <string_view>
#include <vector>

class QLabel;
class QListView;

namespace kinvar {
class Document;
}

namespace kinvar::gui {

// The first file line a validation message names ("in line 4", "(lines 3,
// 7 ...)", "A (line 2) > ..."), 0 when it names none.
std::int64_t FileLineNamedIn(std::string_view message);

// The lines of a file, or the rows of a workbook sheet, numbered.
class FileLinesModel : public QAbstractListModel {
 public:
  // `message` says why nothing could be read; the list is then empty.
  void ReadText(const QString& path, QString& message);
  void ReadSheet(const QString& path, const QString& sheet, QString& message);
  // The row that holds file line (sheet row) `number`, -1 when none does.
  int RowOf(std::int64_t number) const;
  void SetHighlighted(int row) { highlighted_ = row; }
  int highlighted() const { return highlighted_; }
  // The sheet read, by its name; "" for a text file.
  const QString& sheetName() const { return sheetName_; }
  // The line's own text, without its number.
  QString Text(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  std::int64_t NumberOf(int row) const;

  QByteArray bytes_;
  std::vector<std::int64_t> starts_;  // of each line in bytes_
  std::vector<std::int32_t> lengths_;
  std::vector<std::int64_t> numbers_;  // a sheet's row numbers; empty for a text file
  QString sheetName_;
  int highlighted_ = -1;
  int width_ = 1;  // digits of the largest number
};

class FileViewer : public QDialog {
  Q_OBJECT

 public:
  // `sheet` is empty for a text file or a workbook's first sheet.
  FileViewer(const QString& path, const QString& sheet, std::int64_t line, QWidget* parent = nullptr);

  QListView* list() const { return list_; }
  const FileLinesModel& lines() const { return lines_; }
  QLabel* where() const { return where_; }

 private:
  FileLinesModel lines_;
  QListView* list_;
  QLabel* where_;
};

// Opens the viewer on the file line that report line `reportLine` of a
// rejected pedigree names; nullptr when it names none or no file is shown.
FileViewer* ShowFileLineOfError(const Document& doc, int reportLine, QWidget* parent);

}  // namespace kinvar::gui
