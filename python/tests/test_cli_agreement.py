"""Every command's frames hold what kinvar-cli writes as CSV for the same file."""

import csv
import io
import math
import os
import subprocess

import numpy as np
import pandas as pd
import pytest

import kinvar

# Named rows: kinvar-cli's arguments (the pedigree file second), the table,
# and the same call from Python on that file (a frame, or a dict of frames).
HERD = {
    "inbreeding": (["inbreeding", "{herd}"], "inbreeding", lambda p: p.inbreeding()),
    "inbreeding summary": (["inbreeding", "{herd}"], "summary",
                           lambda p: p.inbreeding().attrs["summary"]),
    "pairs": (["relationships", "{herd}", "all"], "pairs", lambda p: p.relationships()),
    "pairs within, coefficient": (["relationships", "{herd}", "within", "2",
                                   "--relationship", "coefficient"], "pairs",
                                  lambda p: p.relationships(within=2, type="coefficient")),
    "pairs between, in a range": (["relationships", "{herd}", "between", "2", "3",
                                   "--range", "0.3", "0.6"], "pairs",
                                  lambda p: p.relationships(between=(2, 3), range=(0.3, 0.6))),
    "average relatedness": (["average-relatedness", "{herd}"], "average_relatedness",
                            lambda p: p.average_relatedness()),
    "group averages": (["average-between-groups", "{herd}"], "group_averages",
                       lambda p: p.average_between_groups()),
    "dii": (["dii", "{herd}"], "dii", lambda p: p.dii()),
    "structure groups": (["structure", "{herd}"], "groups", lambda p: p.structure()),
    "structure summary": (["structure", "{herd}"], "summary", lambda p: p.structure()),
    "structure founders": (["structure", "{lonely}", "--list-founders"], "founders_without_progeny",
                           lambda p: p.structure(list_founders=True)),
    "path counting of one": (["path-counting", "{herd}", "individual", "C1"], "paths",
                             lambda p: p.path_counting("C1")),
    "path counting of a group": (["path-counting", "{herd}", "group", "3"], "ncas",
                                 lambda p: p.path_counting(group=3)),
    "path counting of all": (["path-counting", "{herd}", "all"], "inbreds",
                             lambda p: p.path_counting()),
    "gene origin": (["gene-origin", "{herd}", "3"], "founder_contributions",
                    lambda p: p.gene_origin(3)),
    "gene origin summary": (["gene-origin", "{herd}", "3"], "summary",
                            lambda p: p.gene_origin(3).attrs["summary"]),
    "decomposition of one": (["decompose", "{herd}", "individual", "C1"], "decomposition",
                             lambda p: p.decompose_inbreeding("C1")),
    "decomposition of a group": (["decompose", "{herd}", "group", "3"], "decomposition",
                                 lambda p: p.decompose_inbreeding(group=3)),
    "decomposition of coancestry": (["decompose", "{herd}", "coancestry", "3"], "decomposition",
                                    lambda p: p.decompose_inbreeding(group=3, coancestry=True)),
    "diversity of all": (["diversity", "{herd}", "all"], "summary", lambda p: p.diversity()),
    "diversity of a group": (["diversity", "{herd}", "3"], "ancestors", lambda p: p.diversity(3)),
    "diversity groups": (["diversity", "{herd}", "all"], "groups", lambda p: p.diversity()),
    "exact matings": (["optimize-matings", "{herd}", "2", "3", "{sires}", "--exact"], "matings",
                      lambda p: p.optimize_matings(2, 3, {"B1": 1, "B2": 1, "B3": 1, "B4": 1},
                                                   exact=True)),
}


def run_cli(cli, arguments, table, tmp_path):
    env = dict(os.environ, KINVAR_HOME=str(tmp_path))
    done = subprocess.run([str(cli), *arguments, "--format", "csv", "--table", table, "-q"],
                          capture_output=True, text=True, env=env, check=True)
    rows = list(csv.reader(io.StringIO(done.stdout)))
    return rows[0], rows[1:]


def cli_matrix(cli, arguments, table, tmp_path, ids, group_ids=(), recode=None):
    """kinvar-cli's triplets of `table` as a dense symmetric matrix whose rows
    and columns follow `ids`, then `group_ids`: the codes come from the same
    run's recoding table (or from the run `recode`) and, with groups, from
    its groups table."""
    _, rows = run_cli(cli, arguments, table, tmp_path)
    _, recoding = run_cli(cli, recode or arguments, "recoding", tmp_path)
    at = {x: i for i, x in enumerate([*ids, *(g.upper() for g in group_ids)])}
    position = {int(code): at[id] for code, _, _, id in recoding}
    if group_ids:
        _, coded = run_cli(cli, arguments, "groups", tmp_path)
        position.update({int(code): at[id] for code, id in coded})
    matrix = np.zeros((len(at), len(at)))
    for r, c, value in rows:
        i, j = position[int(r)], position[int(c)]
        matrix[i, j] = matrix[j, i] = float(value)
    return matrix


def expected_cell(text, dtype):
    """A CSV field read by the type of the frame's column."""
    if text == "":
        return None
    if pd.api.types.is_bool_dtype(dtype):
        return {"true": True, "false": False}[text]
    if pd.api.types.is_integer_dtype(dtype):
        return int(text)
    if pd.api.types.is_float_dtype(dtype):
        return float(text)
    return text


def same_cell(got, want):
    if want is None:
        return got is None or got is pd.NA or (isinstance(got, float) and math.isnan(got))
    if isinstance(want, float) and not isinstance(got, (bool, np.bool_)):
        return float(got) == want or (math.isnan(want) and math.isnan(float(got)))
    return got == want


def assert_frame_is_csv(frame, header, rows):
    assert list(frame.columns) == header
    assert len(frame) == len(rows)
    for name, column in zip(header, zip(*rows) if rows else [[]] * len(header)):
        got = frame[name].astype(object).tolist()
        want = [expected_cell(text, frame[name].dtype) for text in column]
        if name == "sex":  # the CSV writes an unknown sex as ".", pandas has None
            want = [None if w == "." else w for w in want]
        bad = [(i, g, w) for i, (g, w) in enumerate(zip(got, want)) if not same_cell(g, w)]
        assert not bad, f"column {name}: first differences {bad[:3]}"


@pytest.mark.parametrize("name", HERD)
def test_frame_equals_cli_csv(name, cli, examples, tmp_path):
    arguments, table, call = HERD[name]
    lonely = tmp_path / "lonely.pdg"
    lonely.write_text("progeny sire dam\nA 0 0\nB 0 0\nC A B\nZ 0 0\ny 0 0\n")
    places = {"herd": str(examples / "herd.pdg"), "sires": str(examples / "herd-sires.c"),
              "lonely": str(lonely)}
    arguments = [a.format(**places) for a in arguments]
    header, rows = run_cli(cli, arguments, table, tmp_path)
    result = call(kinvar.read_pedigree(arguments[1]))
    if isinstance(result, dict) and table in result:
        result = result[table]
    if isinstance(result, dict):  # a summary from attrs
        result = pd.DataFrame({"figure": list(result), "value": list(result.values())})
    assert_frame_is_csv(result, header, rows)


def test_extraction_lists_the_cli_pedigree(cli, examples, tmp_path):
    header, rows = run_cli(cli, ["extract", str(examples / "herd.pdg"), "ancestors",
                                 "individual", "C1"], "pedigree", tmp_path)
    extracted = kinvar.read_pedigree(examples / "herd.pdg").extract("C1")
    assert sorted(extracted.ids) == sorted(row[0] for row in rows)
    assert "C1" in set(extracted.ids)
    descendants = kinvar.read_pedigree(examples / "herd.pdg").extract("A2", kinship="descendants")
    rows = set(descendants.ids[:descendants.rows])
    assert "A2" in rows and "C1" in rows and "S1" not in rows


def test_ainverse_equals_cli_triplets(cli, examples, tmp_path):
    herd = str(examples / "herd.pdg")
    ped = kinvar.read_pedigree(herd)
    expected = cli_matrix(cli, ["inverse", herd, "--triplets"], "ainverse", tmp_path, ped.ids,
                          recode=["recode", herd])
    np.testing.assert_array_equal(ped.ainverse(precision="single").toarray(), expected)
