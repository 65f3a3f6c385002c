// The sort: where it leaves equal keys is visible (full sibs get their codes
// in that order), so the whole permutation is compared with a reference
// written here from the algorithm's description, and every instance with
// the same reference on its own key.
#include "pedigree/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/test_files.h"

namespace kinvar {
namespace {

// Median-of-three quicksort with an explicit stack of bounds and insertion
// sort below eight elements, the longer part pushed.
template <class T, class Less>
void ReferenceSort(std::vector<T>& a, long lo, long hi, Less less) {
  std::vector<long> pending;
  long l = lo, r = hi;
  while (true) {
    if (r - l < 7) {
      for (long j = l + 1; j <= r; ++j) {
        const T item = a[static_cast<std::size_t>(j)];
        long i = j - 1;
        while (i >= l && less(item, a[static_cast<std::size_t>(i)])) {
          a[static_cast<std::size_t>(i + 1)] = a[static_cast<std::size_t>(i)];
          --i;
        }
        a[static_cast<std::size_t>(i + 1)] = item;
      }
      if (pending.empty()) return;
      r = pending.back();
      pending.pop_back();
      l = pending.back();
      pending.pop_back();
      continue;
    }
    auto at = [&](long k) -> T& { return a[static_cast<std::size_t>(k)]; };
    std::swap(at((l + r) / 2), at(l + 1));
    if (less(at(r), at(l))) std::swap(at(l), at(r));
    if (less(at(r), at(l + 1))) std::swap(at(l + 1), at(r));
    if (less(at(l + 1), at(l))) std::swap(at(l), at(l + 1));
    long i = l + 1, j = r;
    const T pivot = at(l + 1);
    while (true) {
      do ++i; while (less(at(i), pivot));
      do --j; while (less(pivot, at(j)));
      if (j < i) break;
      std::swap(at(i), at(j));
    }
    at(l + 1) = at(j);
    at(j) = pivot;
    if (r - i + 1 >= j - l) {
      pending.insert(pending.end(), {i, r});
      r = j - 1;
    } else {
      pending.insert(pending.end(), {l, j - 1});
      l = i;
    }
  }
}

struct Tagged {
  int key;
  int tag;  // position before sorting, to tell equal keys apart
  bool operator==(const Tagged& o) const { return key == o.key && tag == o.tag; }
};

TEST(QuickSort, LeavesEqualKeysWhereTheAlgorithmPutsThem) {
  std::mt19937 random(7);
  const auto byKey = [](const Tagged& x, const Tagged& y) { return x.key < y.key; };
  for (int round = 0; round < 3009; ++round) {
    const int n = round < 40 ? round : static_cast<int>(random() % 400);
    const int distinct = 1 + static_cast<int>(random() % (round % 3 == 0 ? 3 : 50));
    std::vector<Tagged> input;
    for (int i = 0; i < n; ++i) input.push_back({static_cast<int>(random() % distinct), i});
    // A sub-range, as validation sorts the added parents only.
    const long lo = n > 10 && round % 4 == 0 ? 3 : 0;
    if (round >= 3000) {  // long runs of equal, rising and falling keys
      input.resize(std::array{8, 1000, 200000}[(round - 3000) / 3]);
      for (std::size_t i = 0; i < input.size(); ++i) {
        const int k = static_cast<int>(i);
        input[i] = {std::array{5, k, static_cast<int>(input.size()) - k}[round % 3], k};
      }
    }
    const long last = static_cast<long>(input.size()) - 1;
    std::vector<Tagged> expected = input;
    ReferenceSort(expected, lo, last, byKey);
    std::vector<Tagged> got = input;
    QuickSort(got.data(), lo, last, byKey);
    ASSERT_EQ(got, expected) << "round " << round << ", n " << input.size();
    for (long i = lo + 1; i <= last; ++i) {
      ASSERT_LE(got[static_cast<std::size_t>(i - 1)].key, got[static_cast<std::size_t>(i)].key);
    }
  }
}

// Large arrays, where the partitioning finds its swaps a block at a time
// and the parts go to threads: the same permutation as the reference, for
// keys of every spread, element sizes of every kind and any thread count.
TEST(QuickSort, LeavesLargeArraysAsTheReferenceOnAnyThreadCount) {
  struct Row {
    const char* name;
    int n;
    int distinct;  // keys drawn from 0..distinct-1; 0: presorted runs
  };
  const Row rows[] = {
      {"two keys", 5000, 2},        {"few keys", 30000, 7},     {"some keys", 70000, 300},
      {"many keys", 70000, 50000},  {"all distinct", 40000, 1 << 30}, {"sorted runs", 50000, 0},
      {"just two blocks", 131, 3},  {"blocks and a tail", 517, 40},
      {"dozens of ranges to share", 600000, 200000},
  };
  std::mt19937 random(11);
  const auto byKey = [](const Tagged& x, const Tagged& y) { return x.key < y.key; };
  for (const Row& row : rows) {
    std::vector<Tagged> input;
    for (int i = 0; i < row.n; ++i) {
      const int key = row.distinct > 0 ? static_cast<int>(random() % static_cast<unsigned>(row.distinct))
                                       : (i % 1000) + static_cast<int>(random() % 3);
      input.push_back({key, i});
    }
    std::vector<Tagged> expected = input;
    ReferenceSort(expected, 0, row.n - 1, byKey);
    for (const int threads : {1, 2, 3, 8}) {
      std::vector<Tagged> got = input;
      ParallelQuickSort(got.data(), 0, row.n - 1, byKey, threads);
      EXPECT_EQ(got, expected) << row.name << ", " << threads << " threads";
    }
    // A larger element with its key far from its start: where the swaps
    // go must not depend on the element's size.
    struct Wide {
      std::array<std::uint64_t, 4> payload;
      int key;
    };
    std::vector<Wide> wide;
    for (const Tagged& t : input) wide.push_back({{std::uint64_t(t.tag), 0, 0, 0}, t.key});
    QuickSort(wide.data(), 0, row.n - 1, [](const Wide& x, const Wide& y) { return x.key < y.key; });
    for (int i = 0; i < row.n; ++i) {
      ASSERT_EQ(static_cast<int>(wide[static_cast<std::size_t>(i)].payload[0]), expected[static_cast<std::size_t>(i)].tag)
          << row.name << ", wide, at " << i;
    }
  }
}

// A pedigree of bare records for the instances: IDs of every length around
// the 15 bytes that the ID sorts keep next to each entry, many sharing long
// prefixes, some with bytes above 127, and random parents, codes and scratch.
Pedigree MakeRecords(std::mt19937& random, int n) {
  Pedigree ped;
  const std::string prefixes[] = {"", "DEU0000000000", "DEU00000000000000", "\xC3\x84", "A"};
  for (int i = 1; i <= n; ++i) {
    Rec r;
    const std::string& prefix = prefixes[random() % 5];
    std::size_t length = prefix.size();
    std::memcpy(r.id, prefix.data(), length);
    for (int tail = static_cast<int>(random() % 6); tail > 0 && length < kMaxIdLength; --tail) {
      r.id[length++] = "019AZ\xE9"[random() % 6];
    }
    if (length == 0) r.id[0] = '0';
    r.code = static_cast<std::int32_t>(random() % (n / 3 + 1));
    r.scratch = static_cast<float>(random() % 7) * 0.125f;
    r.sire = static_cast<RecIndex>(random() % static_cast<unsigned>(i));
    r.dam = static_cast<RecIndex>(random() % static_cast<unsigned>(i));
    ped.recs.push_back(r);
  }
  for (int i = 1; i <= n; ++i) {
    ped.records.push_back(i);
    ped.familyOrder.push_back(i);
    ped.work.push_back(i);
  }
  return ped;
}

template <class Less>
std::vector<RecIndex> Reference(std::vector<RecIndex> v, long lo, Less less) {
  ReferenceSort(v, lo, static_cast<long>(v.size()) - 1, less);
  return v;
}

// The key comparisons of the instances, read through the pedigree.
struct InstanceKeys {
  const Pedigree& ped;
  auto Id() const {
    return [this](RecIndex a, RecIndex b) { return CompareIds(ped.rec(a).id, ped.rec(b).id) < 0; };
  }
  auto Code() const {
    return [this](RecIndex a, RecIndex b) { return ped.rec(a).code < ped.rec(b).code; };
  }
  auto SireCode() const {
    return [this](RecIndex a, RecIndex b) {
      return ped.rec(ped.rec(a).sire).code < ped.rec(ped.rec(b).sire).code;
    };
  }
  auto DamCode() const {
    return [this](RecIndex a, RecIndex b) {
      return ped.rec(ped.rec(a).dam).code < ped.rec(ped.rec(b).dam).code;
    };
  }
  auto ScratchDown() const {
    return [this](RecIndex a, RecIndex b) { return ped.rec(a).scratch > ped.rec(b).scratch; };
  }
};

// Every instance on its list against the reference on the instance's key,
// in turn; with a `shuffler` each list is mixed first.
void ExpectInstancesSortAsTheReference(Pedigree& ped, long n, long from, std::mt19937* shuffler,
                                       const std::string& where) {
  const InstanceKeys by{ped};
  const auto check = [&](const char* name, std::vector<RecIndex>& v, long lo, auto less, auto sort) {
    v.resize(static_cast<std::size_t>(n));
    if (shuffler != nullptr) std::shuffle(v.begin(), v.end(), *shuffler);
    const std::vector<RecIndex> expected = Reference(v, lo, less);
    sort();
    EXPECT_EQ(v, expected) << name << ", " << where;
    for (long k = lo + 1; k < n; ++k) {
      ASSERT_FALSE(less(v[static_cast<std::size_t>(k)], v[static_cast<std::size_t>(k - 1)])) << name << ", " << where;
    }
  };
  check("SortById", ped.records, from, by.Id(), [&] { SortById(ped, from, n - 1); });
  // With the coder of the load, whose keys may hold whole IDs and then
  // compare as numbers alone.
  check("SortByIdKeyed", ped.records, from, by.Id(), [&] { SortByIdKeyed(ped, from, n - 1, 1, KeyCoder::For(ped)); });
  check("SortFamiliesBySire", ped.familyOrder, 0, by.SireCode(), [&] { SortFamiliesBySire(ped, n - 1); });
  check("SortFamiliesByDam", ped.familyOrder, 0, by.DamCode(), [&] { SortFamiliesByDam(ped, n - 1); });
  check("SortWorkByScratch", ped.work, 0, by.ScratchDown(), [&] { SortWorkByScratch(ped, n - 1); });
  check("SortWorkByCode", ped.work, 0, by.Code(), [&] { SortWorkByCode(ped, n - 1); });
  check("SortByCode", ped.records, 0, by.Code(), [&] { SortByCode(ped, n - 1); });
}

TEST(SortInstances, OrderByTheirKeysAsTheAlgorithmDoes) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    const int n = 1 + static_cast<int>(random() % 300);
    Pedigree ped = MakeRecords(random, n);
    const long from = round % 2 == 0 ? 0 : static_cast<long>(random() % static_cast<unsigned>(n));
    ExpectInstancesSortAsTheReference(ped, n, from, nullptr, "round " + std::to_string(round));
  }
}

// A pedigree file of two sexes whose IDs share prefixes longer than the link
// keys and carry bytes above 127; lines shuffled, some founders not listed.
struct LongIdPedigree {
  std::string text;
  std::vector<std::array<std::string, 3>> lines;  // progeny, sire, dam; "0" unknown
};

LongIdPedigree MakeLongIdPedigree(std::mt19937& random, int n) {
  const std::string prefixes[] = {"DEU0000000000", "DEU00000000000000", "ABCDEFGHIJKLMNO", "\xC3\x84", "H"};
  std::set<std::string> used;
  std::vector<std::string> males, females;
  LongIdPedigree out;
  const auto parent = [&](const std::vector<std::string>& from) {
    return from.empty() || random() % 6 == 0 ? std::string("0") : from[random() % from.size()];
  };
  while (static_cast<int>(out.lines.size()) < n) {
    std::string id = prefixes[random() % 5];
    for (int tail = 1 + static_cast<int>(random() % 5); tail > 0 && id.size() < kMaxIdLength; --tail) {
      id += "019AZ\xE9"[random() % 6];
    }
    if (!used.insert(id).second) continue;
    out.lines.push_back({id, parent(males), parent(females)});
    (random() % 2 == 0 ? males : females).push_back(id);
  }
  std::shuffle(out.lines.begin(), out.lines.end(), random);
  out.text = "progeny sire dam\n";
  for (const auto& [id, sire, dam] : out.lines) {
    const bool founder = sire == "0" && dam == "0";
    if (founder && random() % 4 == 0) continue;  // added again as a parent, if used
    out.text.append(id).append(" ").append(sire).append(" ").append(dam).append("\n");
  }
  return out;
}

// The instances on pedigrees as they are loaded: the link sorts must have
// brought equal long parent IDs together for every parent to be linked once,
// and the record sorts read their keys through the real parent links.
TEST(SortInstances, OrderLoadedPedigreesWithLongSharedPrefixes) {
  std::mt19937 random(13);
  for (int round = 0; round < 60; ++round) {
    const LongIdPedigree made = MakeLongIdPedigree(random, 20 + static_cast<int>(random() % 400));
    Pedigree ped;
    const LoadOutcome outcome = test::LoadText(made.text, ped);
    ASSERT_EQ(outcome.status, LoadStatus::kLoaded) << "round " << round << ": " << outcome.message;
    std::map<std::string, std::pair<std::string, std::string>> parents;
    for (RecIndex i = 1; i <= ped.nTotal; ++i) {
      const Rec& r = ped.rec(i);
      parents[r.id] = {ped.rec(r.sire).id, ped.rec(r.dam).id};
    }
    for (const auto& [id, sire, dam] : made.lines) {
      if (parents.count(id) == 0) continue;  // an unlisted founder nobody used
      EXPECT_EQ(parents[id], std::make_pair(sire, dam)) << id;
    }

    const auto n = static_cast<long>(ped.nTotal);
    for (RecIndex i = 1; i <= ped.nTotal; ++i) ped.rec(i).scratch = static_cast<float>(random() % 5) * 0.25f;
    ped.work.assign(ped.records.begin(), ped.records.begin() + n);
    const long from = static_cast<long>(random() % static_cast<unsigned>(n));
    ExpectInstancesSortAsTheReference(ped, n, from, &random, "round " + std::to_string(round));
    for (long k = 0; k < n; ++k) EXPECT_EQ(ped.byCode(static_cast<std::int32_t>(k)).code, k + 1);
  }
}

TEST(SortInstances, PutBytesAbove127BeforeDigits) {
  std::mt19937 random(3);
  Pedigree ped = MakeRecords(random, 3);
  std::strcpy(ped.rec(1).id, "A");
  std::strcpy(ped.rec(2).id, "0");
  std::strcpy(ped.rec(3).id, "\xC3\x84");
  SortById(ped, 0, 2);
  EXPECT_EQ(ped.records, (std::vector<RecIndex>{3, 2, 1}));
}

// The keys the sorts and the linking merge compare stand for their IDs: in
// the order of CompareIds and as IsUnknownId tells, for every length around
// the 15 bytes a key holds, with bytes above 127 and the unknown spellings.
TEST(IdKeys, OrderAndTellUnknownIdsAsTheirText) {
  std::mt19937 random(9);
  const std::string alphabet = "00000AUNKOW\x80\xFF";
  const std::vector<std::string> fixed = {"0", "00", "000000000000000", "0000000000000000", "UNKNOWN",
                                          "UNKNOWNA", "0A", std::string(20, '0'), std::string(20, 'Z')};
  std::vector<Rec> ids(400);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    std::string text = i < fixed.size() ? fixed[i] : std::string();
    const auto length = static_cast<std::size_t>(12 + random() % 9);
    while (text.empty() || (i >= fixed.size() && text.size() < length)) text += alphabet[random() % alphabet.size()];
    std::strcpy(ids[i].id, text.c_str());
  }
  for (const Rec& a : ids) {
    const IdKey x = KeyOf(a.id);
    EXPECT_EQ(IsUnknownKey(x, [&] { return a.id; }), IsUnknownId(a.id)) << a.id;
    for (const Rec& b : ids) {
      const int byKey = CompareKeys(x, KeyOf(b.id), [&] { return a.id; }, [&] { return b.id; });
      ASSERT_EQ(byKey, CompareIds(a.id, b.id)) << a.id << " " << b.id;
    }
  }
}

// Packed keys hold the whole ID: in the order of CompareIds, equal only for
// equal IDs, telling unknown IDs, and giving the ID back, for every length
// up to 20.
TEST(IdKeys, PackedKeysOrderAndTellUnknownIdsAsTheirText) {
  const KeyCoder coder = KeyCoder::Packing("0AUNKOWZ9-");
  ASSERT_TRUE(coder.packed());
  std::mt19937 random(11);
  const std::string alphabet = "00000AUNKOWZ9-";
  const std::vector<std::string> fixed = {"0", "00", "000000000000000", "0000000000000000", "UNKNOWN",
                                          "UNKNOWNA", "0A", std::string(20, '0'), std::string(20, 'Z'),
                                          std::string(19, 'Z'), "A", "-"};
  std::vector<Rec> ids(400);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    std::string text = i < fixed.size() ? fixed[i] : std::string();
    const auto length = static_cast<std::size_t>(1 + random() % 20);
    while (text.empty() || (i >= fixed.size() && text.size() < length)) text += alphabet[random() % alphabet.size()];
    std::strcpy(ids[i].id, text.c_str());
  }
  for (const Rec& a : ids) {
    const IdKey x = coder.Of(a.id);
    EXPECT_EQ(coder.IdOf(x), a.Id());
    EXPECT_EQ(IsUnknownKey(x, [&] { return a.id; }, coder), IsUnknownId(a.id)) << a.id;
    for (const Rec& b : ids) {
      const int byKey = CompareKeys(x, coder.Of(b.id), [] { return ""; }, [] { return ""; });
      ASSERT_EQ(byKey, CompareIds(a.id, b.id)) << a.id << " " << b.id;
    }
  }
}

TEST(IdKeys, OnlyLongIdsOfAtMost63BytesBelow128ArePacked) {
  std::string all63;
  for (int b = 40; b < 40 + 63; ++b) all63 += static_cast<char>(b);
  struct Row {
    const char* name;
    std::vector<std::string> ids;
    bool packed;
  };
  const Row rows[] = {
      {"short IDs", {"DEU00000000001", "0", "UNKNOWN"}, false},
      {"a long ID", {"DEU0000000000000001", "0", "UNKNOWN"}, true},
      {"63 bytes", {all63.substr(0, 20), all63.substr(20, 20), all63.substr(40, 20), all63.substr(60)}, true},
      {"64 bytes", {all63.substr(0, 20), all63.substr(20, 20), all63.substr(40, 20), all63.substr(60) + "!"}, false},
      {"a byte above 127", {"DEU0000000000000001", "\xC3\x84"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Pedigree ped;
    for (const std::string& id : row.ids) {
      std::strcpy(ped.recs.emplace_back().id, id.c_str());
      ParentLink link;
      std::strcpy(link.dam, id.c_str());
      ped.links.push_back(link);
    }
    EXPECT_EQ(KeyCoder::For(ped).packed(), row.packed);
  }
}

// The link sorts, on links whose sire and dam IDs repeat, so that the order
// of equal keys shows; the sire/dam sort starts from the dam order.
TEST(SortInstances, SortLinksByDamThenBySireAndDam) {
  std::mt19937 random(5);
  // Lengths 14 to 20 around the 15 bytes kept in the keys, equal up to the
  // last byte, some ending in a byte above 127.
  const std::vector<std::string> names = {
      "S", "\xE9T", "0A", "DEU000000000000001", "DEU000000000000002", "DEU00000000000000",
      "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMN\xC3", "ABCDEFGHIJKLMNP",
      "ABCDEFGHIJKLMNO\xC3", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRSS",
      "ABCDEFGHIJKLMNOPQRS\xE9", "ABCDEFGHIJKLMNOPQRS"};
  for (int round = 0; round < 300; ++round) {
    Pedigree ped;
    const int n = 1 + static_cast<int>(random() % 120);
    // Few names in a round, so that equal sires and dams repeat.
    const std::size_t offset = random() % names.size();
    const std::size_t span = 2 + random() % 6;
    const auto pick = [&] { return names[(offset + random() % span) % names.size()]; };
    for (int i = 0; i < n; ++i) {
      ParentLink link;
      const std::string s = pick();
      const std::string d = pick();
      std::memcpy(link.sire, s.data(), s.size());
      std::memcpy(link.dam, d.data(), d.size());
      link.rec = i + 1;
      ped.links.push_back(link);
    }
    std::vector<std::int32_t> start(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) start[static_cast<std::size_t>(i)] = i;
    const auto& links = ped.links;
    const auto byDam = [&](std::int32_t a, std::int32_t b) {
      return CompareIds(links[static_cast<std::size_t>(a)].dam, links[static_cast<std::size_t>(b)].dam) < 0;
    };
    const auto bySireDam = [&](std::int32_t a, std::int32_t b) {
      const int s =
          CompareIds(links[static_cast<std::size_t>(a)].sire, links[static_cast<std::size_t>(b)].sire);
      return s < 0 || (s == 0 && byDam(a, b));
    };
    const std::vector<std::int32_t> damOrder = Reference(start, 0, byDam);
    const std::vector<std::int32_t> sireDamOrder = Reference(damOrder, 0, bySireDam);

    for (const bool packed : {false, true}) {
      const KeyCoder coder = packed ? KeyCoder::For(ped) : KeyCoder();
      std::vector<LinkKey> keys = MakeLinkKeys(ped, coder);
      std::vector<std::int32_t> order;
      SortLinksByDam(ped, keys, order, 1, coder);
      ASSERT_EQ(order, damOrder) << "round " << round << (packed ? " packed" : "");
      RekeyBySire(ped, keys, coder);
      SortLinksBySireDam(ped, keys, order, 1, coder);
      ASSERT_EQ(order, sireDamOrder) << "round " << round << (packed ? " packed" : "");
    }
  }
}

}  // namespace
}  // namespace kinvar
