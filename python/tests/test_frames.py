"""Pedigrees from data frames: the types of IDs, unknown parents, spelling,
order, and the errors of a rejected pedigree."""

import numpy as np
import pandas as pd
import pytest

import kinvar

HERD = pd.DataFrame({
    "animal": ["S1", "d1", "A1", "A2", "b1", "B2"],
    "sire": [None, "0", "S1", "S1", "A1", "A1"],
    "dam": [np.nan, "", "d1", "X9", "A2", "A2"],
})


def test_ids_in_input_order_then_added_parents_in_spelling():
    ped = kinvar.Pedigree.from_frame(HERD)
    assert list(ped.ids) == ["S1", "d1", "A1", "A2", "b1", "B2", "X9"]
    assert len(ped) == 7 and ped.rows == 6
    f = ped.inbreeding()
    assert list(f["id"]) == list(ped.ids)
    assert f.loc[f["id"] == "A1", "dam"].item() == "d1"
    assert f["code"].dtype == np.int64 and f["f"].dtype == np.float64
    assert f["f_predefined"].dtype == bool and f["id"].dtype == object
    assert f.loc[f["id"] == "B2", "sire"].item() == "A1"
    assert f.loc[f["id"] == "S1", "sire"].item() is None
    assert repr(ped).startswith("<kinvar.Pedigree: 7 individuals (6 rows, 1 added parent)")


# Named rows: the same pedigree with IDs given in different types.
SPELLINGS = {
    "strings": (["1", "2", "3", "4"], ["0", "0", "1", "1"], ["0", "0", "2", "2"]),
    "integers": ([1, 2, 3, 4], [0, 0, 1, 1], [0, 0, 2, 2]),
    "floats with NaN": ([1, 2, 3, 4], [np.nan, np.nan, 1.0, 1.0], [np.nan, np.nan, 2.0, 2.0]),
    "nullable integers": (pd.array([1, 2, 3, 4], dtype="Int64"),
                          pd.array([None, None, 1, 1], dtype="Int64"),
                          pd.array([None, None, 2, 2], dtype="Int64")),
    "categoricals": (pd.Categorical(["1", "2", "3", "4"]),
                     pd.Categorical([None, None, "1", "1"]),
                     pd.Categorical(["0", "0", "2", "2"])),
    "integer categoricals": (pd.Categorical([1, 2, 3, 4]), pd.Categorical([None, None, 1, 1]),
                             pd.Categorical([None, None, 2, 2])),
    "pandas strings": (pd.array(["1", "2", "3", "4"], dtype="string"),
                       pd.array([pd.NA, pd.NA, "1", "1"], dtype="string"),
                       pd.array([pd.NA, pd.NA, "2", "2"], dtype="string")),
}
# The spellings whose IDs come back as integers.
INTEGER_SPELLINGS = {"integers", "floats with NaN", "nullable integers", "integer categoricals"}


@pytest.mark.parametrize("name", SPELLINGS)
def test_id_types_give_one_pedigree(name):
    animal, sire, dam = SPELLINGS[name]
    frame = pd.DataFrame({"id": animal, "s": sire, "d": dam})
    ped = kinvar.Pedigree.from_frame(frame, id="id", sire="s", dam="d")
    assert list(ped.ids) == ["1", "2", "3", "4"]
    assert ped.relationship(3, 4) == 0.5
    sires = ped.inbreeding()["sire"]
    assert sires.isna().tolist() == [True, True, False, False]
    assert sires.dropna().tolist() == ([1, 1] if name in INTEGER_SPELLINGS else ["1", "1"])


def test_groups_and_f_from_columns():
    frame = HERD.assign(year=[1, 1, 2, 2, 3, 3], F=[0.25, np.nan, np.nan, np.nan, np.nan, np.nan])
    ped = kinvar.Pedigree.from_frame(frame, group="year", f="F")
    assert ped.groups == [1, 2, 3]
    f = ped.inbreeding()
    assert str(f["group"].dtype) == "Int64"  # the added parent has no group
    assert f["group"].isna().tolist() == [False] * 6 + [True]
    assert f.loc[0, "f"] == 0.25 and bool(f.loc[0, "f_predefined"])
    assert ped.relationship("S1", "S1") == 1.25


def test_frame_and_file_give_the_same_results(examples):
    frame = pd.read_csv(examples / "herd.pdg", sep=r"\s+", comment="!", dtype=str,
                        na_values=["."], keep_default_na=False)
    frame["F"] = frame["F"].astype(float)
    frame["Group"] = frame["Group"].astype(float)
    from_frame = kinvar.Pedigree.from_frame(frame, id="Progeny", sire="Sire", dam="Dam",
                                            group="Group", f="F")
    from_file = kinvar.read_pedigree(examples / "herd.pdg")
    pd.testing.assert_frame_equal(from_frame.inbreeding(), from_file.inbreeding())
    pd.testing.assert_frame_equal(from_frame.diversity(3)["summary"],
                                  from_file.diversity(3)["summary"])


# Named rows: frames validation rejects, and a word its message must hold.
REJECTED = {
    "both sire and dam": ({"animal": ["A", "B", "C", "D"], "sire": [None, None, "A", "C"],
                           "dam": [None, None, "B", "A"]}, "A"),
    "duplicate": ({"animal": ["A", "B", "A"], "sire": [None, None, None],
                   "dam": [None, None, None]}, "A"),
    "duplicate in another case": ({"animal": ["abc", "B", "ABC"], "sire": [None] * 3,
                                   "dam": [None] * 3}, "ABC"),
    "cycle": ({"animal": ["A", "B", "C"], "sire": ["C", None, "A"], "dam": ["B", None, "B"]},
              ""),
}


@pytest.mark.parametrize("name", REJECTED)
def test_rejected_pedigree_lists_its_errors(name):
    columns, word = REJECTED[name]
    with pytest.raises(kinvar.InvalidPedigree) as caught:
        kinvar.Pedigree.from_frame(pd.DataFrame(columns))
    errors = caught.value.errors
    assert errors and all(isinstance(e, str) and e for e in errors)
    assert any(word.upper() in e.upper() for e in errors)
    assert isinstance(caught.value, ValueError)


def test_rejected_file_and_unreadable_file(examples, tmp_path):
    with pytest.raises(kinvar.InvalidPedigree) as caught:
        kinvar.read_pedigree(examples / "rejected.pdg")
    assert len(caught.value.errors) >= 1
    with pytest.raises(kinvar.Refused):
        kinvar.read_pedigree(tmp_path / "missing.pdg")


def test_unknown_id_and_group_are_refused_and_the_pedigree_stays_usable():
    ped = kinvar.Pedigree.from_frame(HERD)
    with pytest.raises(kinvar.Refused):
        ped.relationship("S1", "NOBODY")
    with pytest.raises(kinvar.Refused):
        ped.gene_origin(7)
    assert ped.relationship("s1", "A1") == 0.5
    with pytest.raises(KeyError):
        kinvar.Pedigree.from_frame(HERD, id="nope")


def test_progress_goes_to_standard_error_only_when_asked(capsys):
    ped = kinvar.Pedigree.from_frame(HERD)
    ped.inbreeding()
    assert capsys.readouterr().err == ""
    kinvar.Pedigree.from_frame(HERD).inbreeding(progress=True)
    err = capsys.readouterr().err
    assert "100%" in err and err.endswith("\n")


def test_dates_and_sexes_from_a_frame_give_the_files_generation_intervals(examples):
    frame = pd.read_csv(examples / "herd.csv", sep=";", decimal=",", parse_dates=["Birth date"])
    assert pd.api.types.is_datetime64_any_dtype(frame["Birth date"])
    from_frame = kinvar.Pedigree.from_frame(frame, id="Animal", sire="Father", dam="Mother",
                                            f="F", sex="Sex", birth_date="Birth date")
    from_file = kinvar.read_pedigree(examples / "herd.csv")
    got, want = from_frame.diversity(), from_file.diversity()
    assert "generation_intervals" in want
    pd.testing.assert_frame_equal(got["generation_intervals"], want["generation_intervals"])
    pd.testing.assert_frame_equal(from_frame.inbreeding(), from_file.inbreeding())


@pytest.mark.parametrize("threads", [-1, 1025])
def test_threads_out_of_range_are_refused(threads, examples):
    with pytest.raises(ValueError, match="threads"):
        kinvar.read_pedigree(examples / "herd.pdg", threads=threads)
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    with pytest.raises(ValueError, match="threads"):
        herd.inbreeding(threads=threads)
    assert len(herd.inbreeding(threads=2)) == len(herd)
