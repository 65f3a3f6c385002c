"""What pandas users expect of the module: the inverse of A in double
precision, sires and dams by ID, labelled matrices, a missing sex as None,
input order, and argument names that agree with the R package."""

import inspect

import numpy as np
import pandas as pd
import pytest

import kinvar
from conftest import in_order, random_pedigree, tabular_a


@pytest.fixture
def herd(examples):
    return kinvar.read_pedigree(examples / "herd.pdg")


@pytest.mark.parametrize("seed", [3, 17, 29])
def test_ainverse_is_double_by_default_the_exact_inverse_of_a_tabular_a(seed):
    frame, predefined = random_pedigree(seed, 70, founder_f=True)
    rows = [(a, s, d) for a, s, d in frame[["animal", "sire", "dam"]].itertuples(index=False)]
    order, a = tabular_a(rows, predefined)
    ped = kinvar.Pedigree.from_frame(frame, f="f")
    exact = np.linalg.inv(in_order(list(ped.ids), order, a))
    scale = np.abs(exact).max()
    ainv = ped.ainverse()
    assert ainv.ids == list(ped.ids)
    assert np.abs(ainv.toarray() - exact).max() < 1e-10 * scale
    single = ped.ainverse(precision="single").toarray()
    assert np.abs(single - exact).max() < 1e-4 * scale


def test_ainverse_and_dominance_are_labelled_alike(herd):
    for matrix in (herd.ainverse(), herd.dominance(), herd.dominance(group=3)):
        assert isinstance(matrix, kinvar.IdMatrix)
        assert matrix.shape == (len(matrix.ids), len(matrix.ids))
        frame = matrix.to_frame()
        assert list(frame.index) == list(frame.columns) == matrix.ids
    assert herd.dominance(group=3).ids == ["C1", "C2", "C3", "C4"]


def test_mating_commands_take_sires_and_dams_by_id_within_one_group(herd):
    with pytest.raises(kinvar.Refused, match="Two groups are the same"):
        herd.mate_suitability(2, 2)
    pairs = herd.mate_suitability(["B1", "B4"], pd.Series(["B2", "B3"]))
    assert sorted(zip(pairs["sire"], pairs["dam"])) == [
        ("B1", "B2"), ("B1", "B3"), ("B4", "B2"), ("B4", "B3")]
    for sire, dam, f in zip(pairs["sire"], pairs["dam"], pairs["offspring_f"]):
        assert f == pytest.approx(herd.relationship(sire, dam) / 2, abs=1e-6)
    by_id = herd.mate_suitability([f"B{k}" for k in range(1, 5)], np.array(["C1", "C2", "C3", "C4"]))
    by_group = herd.mate_suitability(2, 3)
    key = ["sire", "dam"]
    pd.testing.assert_frame_equal(by_id.sort_values(key).reset_index(drop=True),
                                  by_group.sort_values(key).reset_index(drop=True))
    # A boolean mask over the rows marks them.
    ids = pd.Series(herd.ids[:herd.rows])
    plan = herd.optimum_contributions(sires=ids.isin(["B1", "B4"]), dams=ids.isin(["B2", "B3"]))
    assert set(plan["contributions"]["id"]) == {"B1", "B4", "B2", "B3"}


@pytest.mark.parametrize("name, sires, dams, message", [
    ("unknown ID", ["B1", "ZZ"], ["B2"], 'Cannot find individual "ZZ"'),
    ("sire and dam", ["B1", "B4"], ["B2", "B4"], "B4 is listed both as a sire and as a dam"),
    ("twice", ["B1", "b1"], ["B2"], "b1 is listed twice among the sires"),
    ("no group", ["B1"], 9, "There is no group 9"),
])
def test_listed_mates_are_refused_by_name(herd, name, sires, dams, message):
    with pytest.raises(kinvar.Refused, match=message):
        herd.mate_suitability(sires, dams)
    assert len(herd.mate_suitability(2, 3)) == 16


def test_optimize_matings_gives_sires_left_out_no_dams(herd):
    plan = herd.optimize_matings(2, 3, {"B1": 3, "b4": 1}, seed=1)
    assert plan["sire"].value_counts().to_dict() == {"B1": 3, "B4": 1}
    listed = herd.optimize_matings(["B1", "B4"], ["B2", "B3"], pd.Series({"B4": 2}))
    assert set(listed["sire"]) == {"B4"}
    with pytest.raises(kinvar.Refused, match="not among the sires: C1, XX"):
        herd.optimize_matings(2, 3, {"B1": 3, "C1": 1, "XX": 0})
    with pytest.raises(kinvar.Refused, match="sum to 1, not to the 2 dams"):
        herd.optimize_matings(["B1", "B4"], ["B2", "B3"], {"B4": 1})


def test_an_unknown_sex_is_missing_and_purging_follows_input_order(herd):
    # No Sex column: the parents' roles give theirs, the others' is unknown.
    assert herd.mean_kinship(3)["sex"].isna().all()
    frame = pd.DataFrame({"animal": ["Z", "Y", "X", "W"], "sire": [None, None, "Z", "Z"],
                          "dam": [None, None, "Y", "Y"], "sex": ["M", "F", "M", None]})
    mk = kinvar.Pedigree.from_frame(frame, sex="sex").mean_kinship().set_index("id")
    assert mk.loc["Z", "sex"] == "M" and mk.loc["Y", "sex"] == "F" and pd.isna(mk.loc["W", "sex"])
    frame, _ = random_pedigree(5, 90)
    ped = kinvar.Pedigree.from_frame(frame)
    assert list(ped.purging()["purging"]["id"]) == list(ped.ids)


def test_relationships_take_group_and_group2_as_in_r(herd):
    pd.testing.assert_frame_equal(herd.relationships(group=2), herd.relationships(within=2))
    pd.testing.assert_frame_equal(herd.relationships(group=2, group2=3),
                                  herd.relationships(between=(2, 3)))
    pd.testing.assert_frame_equal(herd.decompose_inbreeding(group=3), herd.decompose(group=3))


# The same table sits in r/kinvar/tests/testthat/test-conventions.R: the
# argument names each function shares between R (less ped) and Python
# (less self).
SHARED_ARGUMENTS = {
    "inbreeding": {"threads", "progress", "precision"},
    "relationship": {"id1", "id2", "type", "threads", "precision"},
    "relationship_matrix": {"ids", "type", "threads", "progress", "precision"},
    "ainverse": {"precision", "threads", "progress"},
    "x_linked": {"inverse", "threads", "progress"},
    "dominance": {"group", "inverse", "min_value", "precision", "threads", "progress"},
    "dii": {"precision", "threads", "progress"},
    "path_counting": {"id", "group", "threads", "progress"},
    "gene_origin": {"group", "threads", "progress"},
    "decompose_inbreeding": {"id", "group", "coancestry", "precision", "threads", "progress"},
    "diversity": {"group", "threads", "progress"},
    "optimize_matings": {"sires", "dams", "contributions", "forbidden", "exact", "seed", "threads",
                         "progress"},
    "purging": {"group", "purging_coefficient", "gene_drops", "all_founders", "seed", "threads",
                "progress"},
    "mean_kinship": {"group", "threads", "progress"},
    "mate_suitability": {"sires", "dams", "reference", "max_f", "threads", "progress"},
    "optimum_contributions": {"sires", "dams", "breeding_values", "target_delta_f",
                              "target_kinship", "max_contribution", "matings", "threads",
                              "progress"},
    # The genomic functions: the genotype input's keywords first.
    "genotype_qc": {"genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate", "min_maf", "threads", "progress"},
    "genomic_relationship": {"genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate", "min_maf", "frequencies", "method", "write_g", "g_format", "pairs",
                             "threads", "progress"},
    "genomic_inbreeding": {"genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate", "min_maf", "frequencies", "roh_window_snps", "roh_max_het",
                           "roh_max_missing", "roh_min_share", "roh_min_snps", "roh_min_length",
                           "threads", "progress"},
    "hinverse": {"genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate", "min_maf", "method", "alpha", "beta", "tau", "omega", "scale", "precision",
                 "threads", "progress"},
    "parentage": {"genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate", "min_maf", "exclusion_threshold", "search", "threads", "progress"},
}


@pytest.mark.parametrize("name", sorted(SHARED_ARGUMENTS))
def test_argument_names_agree_with_the_r_package(name):
    parameters = inspect.signature(getattr(kinvar.Pedigree, name)).parameters
    assert set(parameters) - {"self"} == SHARED_ARGUMENTS[name]
    if name == "ainverse":
        assert parameters["precision"].default == "double"


# The commands whose parameters the core declares once, by their kinvar-cli
# names, and the methods that pass them on.
DECLARED = {"purging": "purging", "dominance": "dominance", "gene-origin": "gene_origin",
            "diversity": "diversity", "mean-kinship": "mean_kinship",
            "mate-suitability": "mate_suitability",
            "genomic-relationship": "genomic_relationship", "genomic-inbreeding": "genomic_inbreeding",
            "hinverse": "hinverse", "parentage": "parentage", "genotype-qc": "genotype_qc",
            "optimum-contributions": "optimum_contributions",
            "relationship": "relationship", "mating": "planned_mating"}


def _declared_default(text):
    """A declared default as Python spells it: "all" is None, a flag's "0"
    False, a number a number, a word the word; an empty text has none to
    compare."""
    if text == "all":
        return None
    if not text:
        return inspect.Parameter.empty
    try:
        return float(text)
    except ValueError:
        return text


@pytest.mark.parametrize("command", sorted(DECLARED))
def test_declared_keywords_are_the_methods_arguments_with_their_defaults(command):
    from kinvar import _kinvar
    declared = _kinvar.declared_keywords(command)
    assert declared, command
    parameters = inspect.signature(getattr(kinvar.Pedigree, DECLARED[command])).parameters
    for keyword, default in declared:
        assert keyword in parameters, keyword
        expected = _declared_default(default)
        if expected is inspect.Parameter.empty:
            continue
        given = parameters[keyword].default
        if expected is None:
            assert given is None, keyword
        else:
            assert given == expected, keyword
