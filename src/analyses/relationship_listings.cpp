#include "analyses/relationship_listings.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <vector>

#include "genetics/inbreeding.h"
#include "genetics/metafounders.h"
#include "genetics/relationship.h"
#include "report/number_format.h"

namespace kinvar {

std::string FormatG(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::vector<RecIndex> GroupMembers(const Pedigree& ped, int group) {
  std::vector<RecIndex> members;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const RecIndex ri = ped.records[static_cast<std::size_t>(i)];
    if (ped.GroupNumber(ped.rec(ri)) == group) members.push_back(ri);
  }
  return members;
}

namespace {

// Applies the display range and the cap to each pair and writes its line.
class PairWriter {
 public:
  PairWriter(Pedigree& ped, Platform& platform)
      : ped_(ped),
        platform_(platform),
        low_(ped.settings.relationshipLower),
        high_(ped.settings.relationshipUpper),
        coefficient_(ped.settings.relationshipType == 0),
        format_(ped.settings.numberFormat),
        base_(ped) {}

  // Clears the report and the copy file and writes the heading lines.
  void Begin(const std::string& title, const std::string& columns) {
    ped_.report.Clear();
    ped_.copyFile.Reset();
    Write(title);
    Write("Relationships in the range of |X" + FormatG(low_) + " |A- |X" + FormatG(high_) +
          " |Aare shown.");
    Write(columns + (coefficient_ ? "Relationship coefficient" : "Numerator relationship"));
    Write("----------|T1----------|T1----------");
    pairs_ = &ped_.report.tables().Add("pairs");
    pairs_->AddColumn("id1", ColumnType::kId);
    pairs_->AddColumn("id2", ColumnType::kId);
    pairs_->AddColumn("value", ColumnType::kReal);
    rowsWanted_ = ped_.report.tables().RowsWanted();
  }

  // False when the pair was one too many: the listing must stop.
  template <class T>
  bool Offer(const Rec& column, const Rec& other, T a0) {
    const T a = base_.Add(a0, column, other);
    const T v = !coefficient_ ? a
                : std::is_same_v<T, float>
                    ? RelationshipCoefficient(a, static_cast<T>(column.f), static_cast<T>(other.f))
                    : RelationshipCoefficient(a, static_cast<T>(FOfRecord(ped_, column)),
                                              static_cast<T>(FOfRecord(ped_, other)));
    if (!(static_cast<T>(low_) <= v && v <= static_cast<T>(high_))) return true;
    if (++listed_ > kMaxListedPairs) {
      Cap();
      return false;
    }
    line_.assign(column.id);
    line_ += "|T1";
    line_ += other.id;
    line_ += "|T1|I";
    line_ += FormatNumber(format_, v);
    Write(line_);
    if (!rowsWanted_) return true;
    TableRow row = pairs_->AddRow();
    row.Id(column.Id()).Id(other.Id());
    if constexpr (std::is_same_v<T, float>) row.Float(v);
    else row.Real(v);
    return true;
  }

  // Offers the pairs of one column, with others 0..count-1 (other(i) the
  // record, value(i) its relationship with the column), then steps the
  // progress to `position`; false once the listing is capped or cancelled.
  template <class Other, class Value>
  bool OfferColumn(const Rec& column, std::size_t count, Other other, Value value,
                   Progress& progress, std::int64_t position) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!Offer(column, other(i), value(i))) {
        end_ = ListingEnd::kCapped;
        return false;
      }
    }
    if (progress.Step(position)) end_ = ListingEnd::kCanceled;
    return end_ == ListingEnd::kDone;
  }

  // How the listing ended, with its closing lines when it ran to its end.
  ListingEnd End() {
    if (end_ == ListingEnd::kDone && listed_ == 0) {
      Write("");
      Write("|XThere is no relationship between " + FormatG(low_) + " and " + FormatG(high_) +
            ".");
    }
    return end_;
  }

 private:
  void Write(const std::string& line) { WriteReportLine(ped_.report, line, &ped_.copyFile); }

  // The lines so far stay; the message goes to the user and, with an empty
  // line after it, to the copy file only.
  void Cap() {
    platform_.RefreshViews();
    const std::string message =
        "Not all relationships were listed!\nThe number of pairwise relationships, which are "
        "between " +
        FormatG(low_) + " and " + FormatG(high_) + ", should not be more than " +
        std::to_string(kMaxListedPairs) + ".\n";
    platform_.ShowMessage(message, MessageIcon::kError);
    ped_.copyFile.WriteLine(message);
  }

  Pedigree& ped_;
  Platform& platform_;
  float low_;
  float high_;
  bool coefficient_;
  int format_;
  // The listed pairs, beside the lines: the store stops long before the
  // listing's own cap.
  ResultTable* pairs_ = nullptr;
  bool rowsWanted_ = true;
  std::int64_t listed_ = 0;
  ListingEnd end_ = ListingEnd::kDone;
  std::string line_;
  BaseRelationships base_;  // the metafounders' part, when there are some
};

template <class T>
std::vector<std::int32_t> LocalNumbers(const BasicAncestorSubset<T>& subset, const Pedigree& ped,
                                       std::span<const RecIndex> members) {
  std::vector<std::int32_t> local;
  local.reserve(members.size());
  for (const RecIndex ri : members) local.push_back(subset.LocalOf(ped.rec(ri)));
  return local;
}

// Columns of A for the kernel numbers `columns`, computed kColumns at a
// time by the block kernel (each with the bits of its own one-column
// pass), handed in order to each(index, value) with value(k) = a(k,
// columns[index]); stops at the first each that returns false. With
// `belowOnly` (ascending columns) a column's values are read only below
// it, so the forward pass stops below the block's largest column.
constexpr int kColumns = 8;

template <class T, class Each>
void ForEachColumn(const BasicKernelPedigree<T>& kp, std::span<const std::int32_t> columns,
                   Each each, bool belowOnly = false) {
  std::vector<T> block((static_cast<std::size_t>(kp.size()) + 1) * kColumns, T(0));
  for (std::size_t first = 0; first < columns.size(); first += kColumns) {
    const std::size_t count = std::min<std::size_t>(kColumns, columns.size() - first);
    const std::span<const std::int32_t> lanes = columns.subspan(first, count);
    const std::int32_t last = belowOnly ? lanes.back() - 1 : kp.size();
    ComputeColumns<kColumns>(kp, lanes, last, block.data());
    for (std::size_t l = 0; l < count; ++l) {
      const auto value = [&](std::int32_t k) { return block[static_cast<std::size_t>(k) * kColumns + l]; };
      if (!each(first + l, value)) return;
    }
    const std::int32_t used = std::max(last, *std::max_element(lanes.begin(), lanes.end()));
    std::fill_n(block.begin(), (static_cast<std::size_t>(used) + 1) * kColumns, T(0));
  }
}

template <class T>
ListingEnd ListBetweenAllIn(Pedigree& ped, Platform& platform, Progress& progress,
                            const std::vector<T>& d) {
  const std::int32_t n = ped.nTotal;
  progress.SetStage(0, 100, n - 1, "Computing relationships");
  PairWriter writer(ped, platform);
  writer.Begin("Between all individuals.", "Individual ID|T1Individual ID|T1");
  const BasicKernelPedigree<T> kp = WholePedigreeKernel(ped, d, n);
  std::vector<std::int32_t> codes(static_cast<std::size_t>(n));
  for (std::int32_t j = 1; j <= n; ++j) codes[static_cast<std::size_t>(j) - 1] = j;
  ForEachColumn(
      kp, codes,
      [&](std::size_t index, const auto& value) {
        const auto j = static_cast<std::int32_t>(index) + 1;
        return writer.OfferColumn(
            ped.byCode(j - 1), index,
            [&](std::size_t i) -> const Rec& { return ped.byCode(static_cast<std::int32_t>(i)); },
            [&](std::size_t i) { return value(static_cast<std::int32_t>(i) + 1); }, progress, j);
      },
      true);
  return writer.End();
}

template <class T>
ListingEnd ListWithinGroupIn(Pedigree& ped, Platform& platform, Progress& progress, int group,
                             std::span<const RecIndex> members, const std::vector<T>& d) {
  PairWriter writer(ped, platform);
  writer.Begin("Within group " + std::to_string(group) + ".", "Individual ID|T1Individual ID|T1");
  const auto c = static_cast<std::int32_t>(members.size());
  progress.SetStage(0, 100, c - 1, "Computing relationships");
  const BasicAncestorSubset<T> subset = BuildAncestorSubset(ped, members, d);
  const std::vector<std::int32_t> local = LocalNumbers(subset, ped, members);
  const std::span<const std::int32_t> columns(local);
  ForEachColumn(subset.kernel, columns.subspan(std::min<std::size_t>(1, columns.size())),
                [&](std::size_t index, const auto& value) {
                  const std::size_t p = index + 1;
                  return writer.OfferColumn(
                      ped.rec(members[p]), p,
                      [&](std::size_t i) -> const Rec& { return ped.rec(members[i]); },
                      [&](std::size_t i) { return value(local[i]); }, progress,
                      static_cast<std::int64_t>(p));
                });
  return writer.End();
}

template <class T>
ListingEnd ListBetweenGroupsIn(Pedigree& ped, Platform& platform, Progress& progress,
                               int firstGroup, std::span<const RecIndex> first, int secondGroup,
                               std::span<const RecIndex> second, const std::vector<T>& d) {
  const bool swap = second.size() < first.size();
  const std::span<const RecIndex> x = swap ? second : first;
  const std::span<const RecIndex> y = swap ? first : second;
  const std::string xName = std::to_string(swap ? secondGroup : firstGroup);
  const std::string yName = std::to_string(swap ? firstGroup : secondGroup);
  PairWriter writer(ped, platform);
  writer.Begin("Between group " + xName + " and group " + yName + ".",
               "Group " + xName + "|T1Group " + yName + "|T1");
  progress.SetStage(0, 100, static_cast<std::int64_t>(x.size()) - 1, "Computing relationships");
  std::vector<RecIndex> seeds(x.begin(), x.end());
  seeds.insert(seeds.end(), y.begin(), y.end());
  const BasicAncestorSubset<T> subset = BuildAncestorSubset(ped, seeds, d);
  const std::vector<std::int32_t> xLocal = LocalNumbers(subset, ped, x);
  const std::vector<std::int32_t> yLocal = LocalNumbers(subset, ped, y);
  ForEachColumn(subset.kernel, xLocal, [&](std::size_t i, const auto& value) {
    return writer.OfferColumn(
        ped.rec(x[i]), y.size(), [&](std::size_t j) -> const Rec& { return ped.rec(y[j]); },
        [&](std::size_t j) { return value(yLocal[j]); }, progress, static_cast<std::int64_t>(i));
  });
  return writer.End();
}

}  // namespace

ListingEnd ListBetweenAll(Pedigree& ped, Platform& platform, Progress& progress) {
  return ped.InDouble() ? ListBetweenAllIn(ped, platform, progress, ped.dDouble)
                        : ListBetweenAllIn(ped, platform, progress, ped.d);
}

ListingEnd ListWithinGroup(Pedigree& ped, Platform& platform, Progress& progress, int group,
                           std::span<const RecIndex> members) {
  return ped.InDouble() ? ListWithinGroupIn(ped, platform, progress, group, members, ped.dDouble)
                        : ListWithinGroupIn(ped, platform, progress, group, members, ped.d);
}

ListingEnd ListBetweenGroups(Pedigree& ped, Platform& platform, Progress& progress, int firstGroup,
                             std::span<const RecIndex> first, int secondGroup,
                             std::span<const RecIndex> second) {
  return ped.InDouble() ? ListBetweenGroupsIn(ped, platform, progress, firstGroup, first,
                                              secondGroup, second, ped.dDouble)
                        : ListBetweenGroupsIn(ped, platform, progress, firstGroup, first,
                                              secondGroup, second, ped.d);
}

}  // namespace kinvar
