// The extension module kinvar._kinvar: a session per pedigree, whose
// commands return plain columns that kinvar/_pedigree.py turns into pandas,
// NumPy and SciPy objects.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/session.h"
#include "genomics/blas_kernels.h"
#include "cells.h"
#include "guarded_call.h"
#include "pedigree/pedigree.h"
#include "tables.h"

namespace py = pybind11;

namespace kinvar::python {
namespace {

RelationshipKind KindOf(const std::string& type) {
  if (type == "numerator") return RelationshipKind::kNumerator;
  if (type == "coefficient") return RelationshipKind::kCoefficient;
  throw py::value_error("type must be \"numerator\" or \"coefficient\", not \"" + type + "\"");
}

Session::Kinship KinshipOf(const std::string& kinship) {
  if (kinship == "ancestors") return Session::Kinship::kAncestors;
  if (kinship == "descendants") return Session::Kinship::kDescendants;
  throw py::value_error("kinship must be \"ancestors\" or \"descendants\", not \"" + kinship + "\"");
}

std::shared_ptr<Held> Hold(std::unique_ptr<Session> session, bool integerIds = false,
                           InputIds inputs = {}) {
  auto held = std::make_shared<Held>();
  held->session = std::move(session);
  held->integerIds = integerIds;
  held->inputs = std::move(inputs);
  return held;
}

// The Progeny column decides: integers, or a categorical of integers,
// give integer IDs back (the added parents come from the parent columns,
// which hold integers too in any frame of integer IDs).
bool IntegerIds(const std::vector<std::string>& names, const py::list& columns) {
  for (std::size_t c = 0; c < names.size(); ++c) {
    if (names[c] != "Progeny") continue;
    const py::tuple column = columns[c].cast<py::tuple>();
    const std::string kind = column[0].cast<std::string>();
    if (kind == "categorical") return column[2].cast<py::tuple>()[0].cast<std::string>() == "int";
    return kind == "int";
  }
  return false;
}

// The fractions come as (individual, parent, group, fraction) tuples.
using FractionRows = std::vector<std::tuple<std::string, std::string, std::string, double>>;
// Gamma comes as (group, group, value) tuples.
using GammaRows = std::vector<std::tuple<std::string, std::string, double>>;

LoadOptions LoadOptionsOf(std::vector<std::string> groups, const FractionRows& fractions,
                          const GammaRows& gamma) {
  LoadOptions options;
  options.geneticGroups = std::move(groups);
  for (const auto& [individual, parent, group, fraction] : fractions)
    options.groupFractions.push_back({individual, parent, group, fraction});
  for (const auto& [group1, group2, value] : gamma) options.metafounders.push_back({group1, group2, value});
  return options;
}

std::shared_ptr<Held> ReadFile(const std::string& path, const std::string& sheet, int threads,
                               std::vector<std::string> groups, const FractionRows& fractions,
                               const GammaRows& gamma) {
  CheckedThreads(threads);
  const LoadOptions options = LoadOptionsOf(std::move(groups), fractions, gamma);
  std::unique_ptr<Session> session;
  {
    py::gil_scoped_release release;
    session = Session::Read(path, sheet, threads, options);
  }
  return Hold(std::move(session));
}

std::shared_ptr<Held> FromColumns(const std::vector<std::string>& names, const py::list& columns,
                                  int threads, std::vector<std::string> groups,
                                  const FractionRows& fractions, const GammaRows& gamma,
                                  const std::vector<std::string>& shown) {
  if (names.size() != py::len(columns)) throw py::value_error("one name per column");
  CheckedThreads(threads);
  const LoadOptions options = LoadOptionsOf(std::move(groups), fractions, gamma);
  // The cells view the strings of `columns`, which the caller holds until
  // this returns.
  PedigreeColumnViews pedigree;
  pedigree.names = names;
  for (const py::handle column : columns) AddColumnCells(column.cast<py::tuple>(), pedigree);
  std::unique_ptr<Session> session;
  {
    py::gil_scoped_release release;
    session = Session::FromColumnViews(pedigree, threads, options, shown);
    pedigree = PedigreeColumnViews{};
  }
  return Hold(std::move(session), IntegerIds(names, columns), InputIdsOf(names, columns));
}

// The counts the repr shows, cheap to read from the validated pedigree.
py::dict Census(Held& held) {
  const Session& session = *held.session;
  const Pedigree& pedigree = session.pedigree();
  py::dict census;
  census["individuals"] = session.size();
  census["rows"] = session.rows();
  census["added_parents"] = session.size() - session.rows();
  census["founders"] = pedigree.nFounders;
  census["groups"] = session.Groups().size();
  return census;
}

// Every result goes through one conversion: the set's tables as columns.
template <typename Work>
py::list Tables(Held& held, const CallOptions& options, Work&& work) {
  const ResultSet result = GuardedCall(held, options, std::forward<Work>(work));
  return TablesToPython(result, held.integerIds, &held.inputs);
}

void BindQueries(py::class_<Held, std::shared_ptr<Held>>& cls) {
  cls.def("size", [](Held& h) { return h.session->size(); })
      .def("rows", [](Held& h) { return h.session->rows(); })
      .def("has_groups", [](Held& h) { return h.session->HasGroups(); })
      .def("ids", [](Held& h) { return h.session->Ids(); })
      .def("groups", [](Held& h) { return h.session->Groups(); })
      .def("group_ids", [](Held& h) { return h.session->GroupIds(); })
      .def("group_names", [](Held& h) { return h.session->GroupNames(); })
      .def("name_groups", [](Held& h, std::vector<std::string> names) { h.session->NameGroups(std::move(names)); })
      .def("notes", [](Held& h) { return h.session->Notes(); })
      .def("census", &Census);
}

void BindRelationships(py::class_<Held, std::shared_ptr<Held>>& cls) {
  cls.def("relationship",
          [](Held& h, const std::string& id1, const std::string& id2, const std::string& type,
             int threads, const std::string& precision) {
            const RelationshipKind kind = KindOf(type);
            return GuardedCall(h, {threads, false, DoublePrecisionOf(precision)},
                               [&](Session& s) { return s.Relationship(id1, id2, kind); });
          })
      .def("relationships",
           [](Held& h, int scopeKind, int group1, int group2, std::vector<std::string> ids,
              const std::string& type, std::optional<std::pair<double, double>> range, int threads,
              bool progress, const std::string& precision) {
             PairScope scope;
             scope.kind = static_cast<PairScope::Kind>(scopeKind);
             scope.group1 = group1;
             scope.group2 = group2;
             scope.ids = std::move(ids);
             const RelationshipKind kind = KindOf(type);
             return Tables(h, {threads, progress, DoublePrecisionOf(precision)},
                           [&](Session& s) { return s.Relationships(scope, kind, range); });
           })
      .def("relationship_matrix",
           [](Held& h, const std::vector<std::string>& ids, const std::string& type, int threads,
              bool progress, const std::string& precision) {
             const RelationshipKind kind = KindOf(type);
             std::vector<double> cells = GuardedCall(
                 h, {threads, progress, DoublePrecisionOf(precision)}, [&](Session& s) { return s.RelationshipMatrix(ids, kind); });
             const auto k = static_cast<py::ssize_t>(ids.size());
             py::array_t<double, py::array::f_style> matrix({k, k});
             std::copy(cells.begin(), cells.end(), matrix.mutable_data());
             return matrix;
           })
      .def("ainverse", [](Held& h, int threads, bool progress, const std::string& precision) {
        const LowerTriplets lower =
            GuardedCall(h, {threads, progress, DoublePrecisionOf(precision)}, [](Session& s) { return s.InverseOfA(); });
        return py::make_tuple(lower.n, SymmetricCsr(lower));
      })
      .def("x_linked", [](Held& h, bool inverse, int threads, bool progress) {
        const LowerTriplets lower =
            GuardedCall(h, {threads, progress}, [&](Session& s) { return s.XLinked(inverse); });
        return py::make_tuple(lower.n, SymmetricCsr(lower));
      })
      .def("dominance", [](Held& h, std::optional<int> group, bool inverse, double minValue, int threads,
                           bool progress, const std::string& precision) {
        const MemberMatrix d = GuardedCall(h, {threads, progress, DoublePrecisionOf(precision)},
                                           [&](Session& s) { return s.Dominance(group, inverse, minValue); });
        return py::make_tuple(d.lower.n, SymmetricCsr(d.lower), d.ids);
      })
      .def("hinverse", [](Held& h, const std::map<std::string, std::string>& keywords, int threads, bool progress,
                          const std::string& precision) {
        const LowerTriplets lower = GuardedCall(h, {threads, progress, DoublePrecisionOf(precision)},
                                                [&](Session& s) { return s.HInverse(keywords); });
        return py::make_tuple(lower.n, SymmetricCsr(lower));
      });
}

// Commands that take no argument but the call's options.
template <ResultSet (Session::*Command)()>
py::list Plain(Held& h, int threads, bool progress) {
  return Tables(h, {threads, progress}, [](Session& s) { return (s.*Command)(); });
}

// Commands whose numbers follow the precision of F and D.
template <ResultSet (Session::*Command)()>
py::list Precise(Held& h, int threads, bool progress, const std::string& precision) {
  return Tables(h, {threads, progress, DoublePrecisionOf(precision)},
                [](Session& s) { return (s.*Command)(); });
}

py::list InbreedingTables(Held& h, int threads, bool progress, const std::string& precision) {
  return Tables(h, {threads, progress, DoublePrecisionOf(precision)},
                [](Session& s) { return s.Inbreeding(); });
}

void BindTables(py::class_<Held, std::shared_ptr<Held>>& cls) {
  cls.def("inbreeding", &InbreedingTables)
      .def("average_relatedness", &Precise<&Session::AverageRelatedness>)
      .def("average_between_groups", &Precise<&Session::AverageBetweenGroups>)
      .def("dii", &Precise<&Session::Dii>)
      .def("path_counting_all", &Plain<&Session::PathCountingAll>)
      .def("structure",
           [](Held& h, bool listFounders, int threads, bool progress) {
             return Tables(h, {threads, progress},
                           [&](Session& s) { return s.Structure(listFounders); });
           })
      .def("path_counting_individual",
           [](Held& h, const std::string& id, int threads, bool progress) {
             return Tables(h, {threads, progress},
                           [&](Session& s) { return s.PathCountingIndividual(id); });
           })
      .def("path_counting_group",
           [](Held& h, int group, int threads, bool progress) {
             return Tables(h, {threads, progress}, [&](Session& s) { return s.PathCountingGroup(group); });
           })
      .def("gene_origin",
           [](Held& h, int group, int threads, bool progress) {
             return Tables(h, {threads, progress}, [&](Session& s) { return s.GeneOrigin(group); });
           })
      .def("decompose_individual",
           [](Held& h, const std::string& id, int threads, bool progress, const std::string& precision) {
             return Tables(h, {threads, progress, DoublePrecisionOf(precision)},
                           [&](Session& s) { return s.DecomposeIndividual(id); });
           })
      .def("decompose_group",
           [](Held& h, int group, int threads, bool progress, const std::string& precision) {
             return Tables(h, {threads, progress, DoublePrecisionOf(precision)},
                           [&](Session& s) { return s.DecomposeGroup(group); });
           })
      .def("decompose_coancestry",
           [](Held& h, int group, int threads, bool progress, const std::string& precision) {
             return Tables(h, {threads, progress, DoublePrecisionOf(precision)},
                           [&](Session& s) { return s.DecomposeCoancestry(group); });
           })
      .def("diversity", [](Held& h, std::optional<int> group, int threads, bool progress) {
        return Tables(h, {threads, progress}, [&](Session& s) { return s.Diversity(group); });
      });
}

void BindDerived(py::class_<Held, std::shared_ptr<Held>>& cls) {
  cls.def("extract_individual",
          [](Held& h, const std::string& kinship, const std::string& id, int threads) {
            const Session::Kinship k = KinshipOf(kinship);
            return Hold(GuardedCall(h, {threads, false},
                                    [&](Session& s) { return s.ExtractIndividual(k, id); }),
                        h.integerIds);
          })
      .def("extract_group",
           [](Held& h, const std::string& kinship, int group, int threads) {
             const Session::Kinship k = KinshipOf(kinship);
             return Hold(GuardedCall(h, {threads, false},
                                     [&](Session& s) { return s.ExtractGroup(k, group); }),
                         h.integerIds);
           })
      .def("optimize_matings",
           [](Held& h, MateSet sireGroup, MateSet damGroup,
              std::vector<std::pair<std::string, std::int32_t>> contributions,
              std::vector<std::pair<std::string, std::string>> forbidden, bool exact,
              std::uint32_t seed, int threads, bool progress) {
             MatingRequest request;
             request.sireGroup = std::move(sireGroup);
             request.damGroup = std::move(damGroup);
             request.contributions = std::move(contributions);
             request.forbidden = std::move(forbidden);
             request.exact = exact;
             request.seed = seed;
             return Tables(h, {threads, progress}, [&](Session& s) { return s.OptimizeMatings(request); });
           });
}

void BindGenomics(py::class_<Held, std::shared_ptr<Held>>& cls) {
  // Any declared command by its keywords, as its declaration names them:
  // the genomic commands' methods and Pedigree.run.
  cls.def("run_declared",
          [](Held& h, const std::string& command, const std::map<std::string, std::string>& keywords, int threads,
             bool progress) {
            return Tables(h, {threads, progress}, [&](Session& s) { return s.RunDeclared(command, keywords); });
          });
}

void BindPopulation(py::class_<Held, std::shared_ptr<Held>>& cls) {
  cls.def("purging",
          [](Held& h, std::optional<int> group, double purgingCoefficient, std::int32_t geneDrops,
             bool allFounders, std::uint32_t seed, int threads, bool progress) {
            PurgingRequest request{group, purgingCoefficient, geneDrops, allFounders, seed};
            return Tables(h, {threads, progress}, [&](Session& s) { return s.Purging(request); });
          })
      .def("mean_kinship",
           [](Held& h, std::optional<int> group, int threads, bool progress) {
             return Tables(h, {threads, progress}, [&](Session& s) { return s.MeanKinship(group); });
           })
      .def("mate_suitability",
           [](Held& h, const MateSet& sireGroup, const MateSet& damGroup, std::optional<int> reference,
              double maxF,
              int threads, bool progress) {
             return Tables(h, {threads, progress}, [&](Session& s) {
               return s.MateSuitability(sireGroup, damGroup, reference, maxF);
             });
           })
      .def("planned_mating",
           [](Held& h, std::string sire, std::string dam,
              std::optional<std::pair<std::string, std::string>> sireParents,
              std::optional<std::pair<std::string, std::string>> damParents,
              std::optional<int> candidates, std::optional<int> reference, int top, int threads,
              bool progress) {
             PlannedMatingRequest request{std::move(sire), std::move(dam), std::move(sireParents),
                                          std::move(damParents), candidates, reference, top};
             return Tables(h, {threads, progress}, [&](Session& s) { return s.PlannedMating(request); });
           })
      .def("optimum_contributions",
           [](Held& h, MateSet sireGroup, MateSet damGroup,
              std::vector<std::pair<std::string, double>> breedingValues,
              std::optional<double> targetDeltaF, std::optional<double> targetKinship,
              std::optional<double> maxContribution, bool matings, int threads, bool progress) {
             ContributionRequest request{sireGroup,     damGroup,        std::move(breedingValues),
                                         targetDeltaF,  targetKinship,   maxContribution,
                                         matings};
             return Tables(h, {threads, progress},
                           [&](Session& s) { return s.OptimumContributions(request); });
           });
}

// Python classes of kinvar._errors, looked up when a failure is raised so
// that the extension holds no Python object in a static.
void RaiseError(const char* name, py::object argument) {
  const py::object cls = py::module_::import("kinvar._errors").attr(name);
  const py::object error = cls(std::move(argument));
  PyErr_SetObject(cls.ptr(), error.ptr());
}

void TranslateErrors(std::exception_ptr failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const InvalidPedigree& e) {
    RaiseError("InvalidPedigree", py::cast(e.errors()));
  } catch (const Refused& e) {
    RaiseError("Refused", py::str(e.what()));
  } catch (const Cancelled&) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
  }
}

}  // namespace
}  // namespace kinvar::python

PYBIND11_MODULE(_kinvar, m) {
  using namespace kinvar::python;
  m.doc() = "The compiled half of kinvar: sessions over the Kinvar core. Use the kinvar package.";
  // At import, while this thread holds the interpreter: the sessions' work
  // runs without the GIL, beside threads that may be in the same OpenBLAS.
  kinvar::PrepareBlas();
  py::register_exception_translator(&TranslateErrors);
  m.attr("MAX_MATRIX_CELLS") = kinvar::Session::kMaxMatrixCells;
  m.def("read", &ReadFile, py::arg("path"), py::arg("sheet"), py::arg("threads"),
        py::arg("genetic_groups"), py::arg("group_fractions"), py::arg("metafounders"));
  m.def("from_columns", &FromColumns, py::arg("names"), py::arg("columns"), py::arg("threads"),
        py::arg("genetic_groups"), py::arg("group_fractions"), py::arg("metafounders"),
        py::arg("shown_names"));
  m.def("find_columns", &kinvar::Session::FindColumns, py::arg("names"));
  m.attr("READER_COLUMNS") = kinvar::Session::ReaderColumnNames();
  m.def("declared_keywords", &kinvar::Session::Keywords, py::arg("command"));
  py::class_<Held, std::shared_ptr<Held>> cls(m, "Session");
  BindQueries(cls);
  BindRelationships(cls);
  BindTables(cls);
  BindDerived(cls);
  BindPopulation(cls);
  BindGenomics(cls);
}
