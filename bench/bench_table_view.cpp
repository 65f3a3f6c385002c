// kinvar-bench-table-view: seconds the desktop's table tab takes to sort and
// filter a table of N rows (default 1,000,000) through its model: a real
// column, an ID column and an integer column with ties, each ascending and
// descending, and a filter typed into the box. With --proxy it also times
// Qt's generic QSortFilterProxyModel sorting the same real column through
// QVariant compares, the figure the model's own sort is measured against.
// The number filter, the copy of the filtered view that Export writes, and
// the ID boxes' completion (the index built once, then one keystroke's
// answer, averaged over a thousand prefixes) over the same N IDs follow.
#include <QCoreApplication>
#include <QSortFilterProxyModel>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "gui/dialogs.h"
#include "gui/table_model.h"
#include "report/report_store.h"

namespace {

using namespace kinvar;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// An inbreeding-like table: herd-book IDs, a coefficient with a few missing
// values, and a generation count with many ties.
void Fill(ResultTable& t, std::size_t n) {
  t.AddColumn("id", ColumnType::kId);
  t.AddColumn("f", ColumnType::kReal);
  t.AddColumn("longest_path", ColumnType::kInteger, "generations");
  t.Reserve(n);
  std::mt19937_64 random(2024);
  std::uniform_real_distribution<double> f(0.0, 0.25);
  char id[32];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(id, sizeof id, "DE%06lluM%07zu",
                  static_cast<unsigned long long>(random() % 1000000), i);
    TableRow row = t.AddRow();
    row.Id(id);
    if (random() % 100 == 0) row.Missing();
    else row.Float(static_cast<float>(f(random)));
    row.Integer(static_cast<std::int64_t>(random() % 40));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t n = 1000000;
  bool proxy = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--n") == 0 && i + 1 < argc) n = std::strtoull(argv[++i], nullptr, 10);
    else if (std::strcmp(argv[i], "--proxy") == 0) proxy = true;
    else {
      std::fprintf(stderr, "usage: kinvar-bench-table-view [--n N] [--proxy]\n");
      return 2;
    }
  }
  QCoreApplication app(argc, argv);
  ReportStore store;
  Fill(store.tables().Add("inbreeding"), n);
  gui::TableModel model(store, 0);

  std::printf("%-34s %10s\n", "operation", "seconds");
  const auto time = [&](const char* what, auto&& act) {
    const auto start = Clock::now();
    act();
    std::printf("%-34s %10.3f\n", what, Seconds(start));
  };
  time("sort real column ascending", [&] { model.sort(1, Qt::AscendingOrder); });
  time("sort real column descending", [&] { model.sort(1, Qt::DescendingOrder); });
  time("sort id column ascending", [&] { model.sort(0, Qt::AscendingOrder); });
  time("sort integer column (ties)", [&] { model.sort(2, Qt::AscendingOrder); });
  time("filter \"0.12\"", [&] { model.SetFilter(QStringLiteral("0.12")); });
  time("filter \"de0001\"", [&] { model.SetFilter(QStringLiteral("de0001")); });
  time("clear the filter", [&] { model.SetFilter(QString()); });
  time("number filter \"f > 0.2\"", [&] { model.SetNumberFilter(QStringLiteral("f > 0.2")); });
  time("number filter \"f 0.1..0.2\"", [&] { model.SetNumberFilter(QStringLiteral("f 0.1..0.2")); });
  time("the filtered view as a table", [&] { (void)gui::ShownTable(model); });
  time("clear the number filter", [&] { model.SetNumberFilter(QString()); });

  std::vector<std::string> ids;
  const TableColumn& idColumn = store.tables().tables().front().column(0);
  std::shared_ptr<const gui::IdIndex> index;
  time("ID index built (once per pedigree)", [&] {
    ids.reserve(n);
    for (std::size_t r = 0; r < n; ++r) ids.emplace_back(idColumn.Text(r));
    index = std::make_shared<const gui::IdIndex>(std::move(ids));
  });
  std::size_t listed = 0;
  const auto start = Clock::now();
  char prefix[16];
  for (int k = 0; k < 1000; ++k) {
    std::snprintf(prefix, sizeof prefix, "de%04d", (k * 7919) % 10000);
    listed += index->Completions(prefix, gui::kMaxCompletions).size();
  }
  std::printf("%-34s %10.6f  (%zu IDs listed)\n", "one keystroke's completions", Seconds(start) / 1000, listed / 1000);
  if (proxy) {
    QSortFilterProxyModel generic;
    generic.setSourceModel(&model);
    time("QSortFilterProxyModel, real column", [&] { generic.sort(1, Qt::AscendingOrder); });
  }
  return 0;
}
