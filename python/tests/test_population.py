"""Purging and population management agree with kinvar-cli's CSV; the
contributions plan matings; double precision is kinvar-cli's too."""

import collections

import numpy as np
import pandas as pd
import pytest

import kinvar
from conftest import in_order, tabular_a
from test_cli_agreement import assert_frame_is_csv, cli_matrix, run_cli

EBV = {"B1": 120, "B2": 35, "B3": 80, "B4": -10, "C1": 60, "C2": 95, "C3": 20, "C4": 45}
PURGING_TABLES = ["summary", "purging_groups", "founders", "purging", "partial_inbreeding"]


def seed_file(path, seed):
    """The generator state a stream started at `seed` has, written the way
    kinvar-cli reads it: Knuth's recurrence of the Mersenne twister."""
    state = [seed & 0xFFFFFFFF]
    for i in range(1, 624):
        previous = state[-1]
        state.append((1812433253 * (previous ^ (previous >> 30)) + i) & 0xFFFFFFFF)
    lines = [" ".join(f"{w:12d}" for w in state[k:k + 8]) for k in range(0, 624, 8)]
    path.write_text("State vector for MT19937:\n" + "\n".join(lines) + "\n")
    return path


# Named rows: kinvar-cli's arguments after the pedigree, its table, and the
# same call on the pedigree from Python (a frame or a dict of frames).
CASES = {
    **{f"purging {t}": (["purging", "3", "--purging-coefficient", "0.2"], t,
                        lambda p: p.purging(3, purging_coefficient=0.2)) for t in PURGING_TABLES},
    "purging of all, every founder": (["purging", "all", "--all-founders"], "partial_inbreeding",
                                      lambda p: p.purging(all_founders=True)),
    **{f"gene dropping {t}": (["purging", "3", "--purging-coefficient", "0.3", "--gene-drop",
                               "300", "--seed-file", "{seed}"], t,
                              lambda p: p.purging(3, purging_coefficient=0.3, gene_drops=300,
                                                  seed=20240611))
       for t in ("summary", "purging_groups", "purging")},
    "mean kinship of all": (["mean-kinship", "all"], "mean_kinship", lambda p: p.mean_kinship()),
    "mean kinship of a group": (["mean-kinship", "3"], "mean_kinship", lambda p: p.mean_kinship(3)),
    "mean kinship summary": (["mean-kinship", "2"], "summary",
                             lambda p: p.mean_kinship(2).attrs["summary"]),
    "mate suitability": (["mate-suitability", "2", "3"], "mate_suitability",
                         lambda p: p.mate_suitability(2, 3)),
    "mate suitability, reference and max F": (
        ["mate-suitability", "2", "3", "--reference", "1", "--max-f", "0.03"], "mate_suitability",
        lambda p: p.mate_suitability(2, 3, reference=1, max_f=0.03)),
    "mate suitability summary": (["mate-suitability", "2", "3"], "summary",
                                 lambda p: p.mate_suitability(2, 3).attrs["summary"]),
    **{f"planned mating {t}": (["mating", "C3", "B3", "--top", "4"], t,
                               lambda p: p.planned_mating("c3", "B3", top=4))
       for t in ("summary", "common_ancestors", "best_sires")},
    "planned mating of a new sire": (
        ["mating", "NEW", "B3", "--sire-parents", "B4", "C1", "--candidates", "2", "--reference",
         "3"], "best_sires",
        lambda p: p.planned_mating("NEW", "B3", sire_parents=("B4", "C1"), candidates=2,
                                   reference=3)),
    "least kinship": (["optimum-contributions", "2", "3"], "contributions",
                      lambda p: p.optimum_contributions(2, 3)),
    "gain at a rate of inbreeding": (
        ["optimum-contributions", "2", "3", "--ebv", "{ebv}", "--target-delta-f", "0.05",
         "--matings-file", "{matings}"], "contributions",
        lambda p: p.optimum_contributions(2, 3, EBV, target_delta_f=0.05, matings=True)),
    "gain at a kinship, capped": (
        ["optimum-contributions", "2", "3", "--ebv", "{ebv}", "--target-kinship", "0.24",
         "--max-contribution", "0.3"], "summary",
        lambda p: p.optimum_contributions(2, 3, pd.Series(EBV), target_kinship=0.24,
                                          max_contribution=0.3)),
}


@pytest.mark.parametrize("name", CASES)
def test_frame_equals_cli_csv(name, cli, examples, tmp_path):
    arguments, table, call = CASES[name]
    herd = str(examples / "herd.pdg")
    places = {"ebv": str(examples / "herd-ebv.txt"), "matings": str(tmp_path / "m.c"),
              "seed": str(seed_file(tmp_path / "Seed", 20240611))}
    arguments = [arguments[0], herd, *(a.format(**places) for a in arguments[1:])]
    header, rows = run_cli(cli, arguments, table, tmp_path)
    result = call(kinvar.read_pedigree(herd))
    if isinstance(result, dict) and table in result:
        result = result[table]
    if isinstance(result, dict):  # a summary from attrs
        result = pd.DataFrame({"figure": list(result), "value": list(result.values())})
    assert_frame_is_csv(result, header, rows)


def test_sire_matings_are_the_cli_matings_file(cli, examples, tmp_path):
    herd = examples / "herd.pdg"
    run_cli(cli, ["optimum-contributions", str(herd), "2", "3", "--ebv",
                  str(examples / "herd-ebv.txt"), "--target-delta-f", "0.05", "--matings-file",
                  str(tmp_path / "m.c")], "contributions", tmp_path)
    lines = [line.split() for line in (tmp_path / "m.c").read_text().splitlines()
             if line.strip() and not line.startswith("!")]
    result = kinvar.read_pedigree(herd).optimum_contributions(2, 3, EBV, target_delta_f=0.05,
                                                              matings=True)
    assert list(result["sire_matings"].columns) == ["sire", "matings"]
    assert [(s, int(n)) for s, n in lines] == list(result["sire_matings"].itertuples(
        index=False, name=None))


@pytest.mark.parametrize("exact", [True, False], ids=["exact", "annealing"])
def test_sire_matings_feed_optimize_matings(examples, exact):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    plan = herd.optimum_contributions(2, 3, EBV, target_delta_f=0.05, matings=True)
    shares = plan["sire_matings"]
    assert set(plan) == {"summary", "contributions", "sire_matings"}
    dams = set(herd.inbreeding().query("group == 3")["id"])
    assert shares["matings"].sum() == len(dams)
    matings = herd.optimize_matings(2, 3, shares, exact=exact, seed=7)
    assert sorted(matings["dam"]) == sorted(dams)
    used = collections.Counter(matings["sire"])
    assert {s: used.get(s, 0) for s in shares["sire"]} == dict(shares.itertuples(index=False))
    # The coancestry of each mating is half the sire's and dam's relationship.
    for sire, dam, coancestry in matings[["sire", "dam", "coancestry"]].itertuples(index=False):
        assert coancestry == pytest.approx(herd.relationship(sire, dam) / 2, abs=1e-6)


def test_without_breeding_values_the_plan_keeps_kinship_least(examples):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    assert herd.optimum_contributions(2, 3).keys() == {"summary", "contributions"}
    with pytest.raises(ValueError):
        herd.optimum_contributions(2, 3, EBV, target_delta_f=0.05, target_kinship=0.1)
    with pytest.raises(kinvar.Refused):
        herd.mean_kinship(99)


def test_gene_dropping_follows_the_seed(examples):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    runs = {seed: herd.purging(3, gene_drops=200, seed=seed)["purging"] for seed in (1, 1, 2)}
    again = herd.purging(3, gene_drops=200, seed=1)["purging"]
    pd.testing.assert_frame_equal(runs[1], again)
    assert not runs[1]["fa_gene_drop"].equals(runs[2]["fa_gene_drop"])
    # The figures that need no random stream do not change with it.
    for column in ("f", "fa_ballou", "g"):
        pd.testing.assert_series_equal(runs[1][column], runs[2][column])


def full_sib_line(generations):
    """Two founders, then a brother and a sister of every generation mated."""
    rows = [("M0", None, None), ("F0", None, None)]
    for g in range(1, generations + 1):
        rows += [(f"M{g}", f"M{g - 1}", f"F{g - 1}"), (f"F{g}", f"M{g - 1}", f"F{g - 1}")]
    return pd.DataFrame(rows, columns=["animal", "sire", "dam"])


def test_double_precision_is_the_cli_double_precision(cli, tmp_path):
    frame = full_sib_line(40)
    path = tmp_path / "line.pdg"
    path.write_text("Progeny Sire Dam\n" + "".join(
        f"{a} {s or 0} {d or 0}\n" for a, s, d in frame.itertuples(index=False)))
    ped = kinvar.read_pedigree(path)
    single = ped.ainverse(precision="single").toarray()
    double = ped.ainverse(precision="double").toarray()
    assert not np.array_equal(single, double)
    for precision, got in (("single", single), ("double", double)):
        want = cli_matrix(cli, ["inverse", str(path), "--triplets", "--precision", precision], "ainverse",
                          tmp_path, ped.ids, recode=["recode", str(path)])
        np.testing.assert_array_equal(got, want, err_msg=precision)
    # Switching back and forth gives each precision's own tables each time,
    # also when the same command follows itself.
    expected = {}
    for command, precision in [(c, p) for c in ("inbreeding", "dii") for p in ("single", "double")]:
        expected[command, precision] = run_cli(
            cli, [command, str(path), "--precision", precision], command, tmp_path)
    for command in ("inbreeding", "dii", "inbreeding"):
        for precision in ("single", "double", "double", "single", "double"):
            got = getattr(ped, command)(precision=precision)
            assert_frame_is_csv(got, *expected[command, precision])


def test_double_precision_is_the_tabular_method():
    ped = kinvar.Pedigree.from_frame(full_sib_line(40))
    rows = [(a, s, d) for a, s, d in full_sib_line(40).itertuples(index=False)]
    order, a = tabular_a(rows, {})
    want = in_order(list(ped.ids), order, a)
    ids = list(ped.ids)
    double = ped.relationship_matrix(ids, precision="double")
    np.testing.assert_allclose(double, want, rtol=1e-13, atol=0)
    np.testing.assert_allclose(ped.ainverse(precision="double").toarray() @ want,
                               np.eye(len(ids)), atol=1e-7)
    f = ped.inbreeding(precision="double").set_index("id")["f"]
    np.testing.assert_allclose(f[ids].to_numpy(), np.diag(want) - 1, rtol=1e-13, atol=0)
    with pytest.raises(ValueError, match="precision"):
        ped.dii(precision="quad")


def test_planned_mating_is_half_the_relationship_of_the_parents(examples):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    result = herd.planned_mating("C3", "B3")
    assert set(result) == {"summary", "common_ancestors", "best_sires"}
    summary = dict(result["summary"].itertuples(index=False, name=None))
    f = herd.relationship("C3", "B3") / 2
    assert summary["Offspring F"] == pytest.approx(f, abs=1e-6)
    assert result["common_ancestors"]["part_of_f"].sum() == pytest.approx(f, abs=1e-6)
    best = result["best_sires"]
    assert list(best["offspring_f"]) == sorted(best["offspring_f"])
    unknown = herd.planned_mating(None, "B3", top=0)
    assert dict(unknown["summary"].itertuples(index=False, name=None))["Offspring F"] == 0
    with pytest.raises(kinvar.Refused, match="B2 is a dam in the pedigree and cannot be the sire"):
        herd.planned_mating("B2", "B3")
