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
    # Object columns whose missing cells are every missing value pandas
    # knows, among str and numbers.
    "mixed objects": (pd.array(["1", 2, "3", 4], dtype=object),
                      pd.array([None, np.nan, 1, "1"], dtype=object),
                      pd.array([pd.NA, pd.NaT, 2.0, "2"], dtype=object)),
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


# Each command asked for a group of the pedigree, then for one that is not:
# the second call raises and never gives the first call's tables.
GROUP_CALLS = {
    "diversity": lambda ped, g: ped.diversity(g),
    "gene_origin": lambda ped, g: ped.gene_origin(g),
    "mean_kinship": lambda ped, g: ped.mean_kinship(g),
    "purging": lambda ped, g: ped.purging(g),
    "decompose": lambda ped, g: ped.decompose(group=g),
    "path_counting": lambda ped, g: ped.path_counting(group=g),
    "relationships within": lambda ped, g: ped.relationships(within=g),
    "relationships between": lambda ped, g: ped.relationships(between=(1, g)),
}


@pytest.mark.parametrize("name", GROUP_CALLS)
def test_a_group_not_in_the_pedigree_raises_after_the_same_command_ran(name, examples):
    ped = kinvar.read_pedigree(examples / "herd.pdg")
    call = GROUP_CALLS[name]
    first = call(ped, 3)
    with pytest.raises(kinvar.Refused, match='^Group "1800" is not in the pedigree.$'):
        call(ped, 1800)
    again = call(ped, 3)
    if isinstance(first, dict):
        assert first.keys() == again.keys()
        for table in first:
            pd.testing.assert_frame_equal(first[table], again[table])
    else:
        pd.testing.assert_frame_equal(first, again)


def test_a_listing_past_its_cap_raises_with_the_count():
    frame = pd.DataFrame({"id": [f"F{i}" for i in range(2002)], "sire": None, "dam": None,
                          "group": [1] * 2001 + [2]})
    ped = kinvar.Pedigree.from_frame(frame)
    message = ("More than 2000000 of the 2001000 pairs lie between 0 and 2, and a listing stops at "
               "2000000: none are returned. Narrow the range, choose a smaller group, or ask for "
               "the pairs of given IDs (at most 5000 at a time).")
    with pytest.raises(kinvar.Refused) as caught:
        ped.relationships(within=1)
    assert str(caught.value) == message
    assert len(ped.relationships(ids=ped.ids[:100])) == 4950


# Named rows: frames whose columns are found without arguments, and the IDs
# and parents they give.
FOUND = {
    "id sire dam": pd.DataFrame({"id": ["A", "B", "C"], "sire": [None, None, "A"],
                                 "dam": [None, None, "B"]}),
    "synonyms in capitals": pd.DataFrame({"ANIMAL": ["A", "B", "C"], "Father": [None, None, "A"],
                                          "MOTHER": [None, None, "B"]}),
    "progeny first named last": pd.DataFrame({"dam": [None, None, "B"], "sire": [None, None, "A"],
                                              "Progeny": ["A", "B", "C"]}),
    "by position": pd.DataFrame({"tag": ["A", "B", "C"], "s": [None, None, "A"],
                                 "d": [None, None, "B"]}),
    "IDs as the index": pd.DataFrame({"animal": ["A", "B", "C"], "sire": [None, None, "A"],
                                      "dam": [None, None, "B"]}).set_index("animal"),
}


@pytest.mark.parametrize("name", FOUND)
def test_columns_are_found_by_the_readers_names_or_by_position(name):
    ped = kinvar.Pedigree.from_frame(FOUND[name])
    f = ped.inbreeding()
    assert list(f["id"]) == ["A", "B", "C"]
    assert list(f["sire"]) == [None, None, "A"]
    assert list(f["dam"]) == [None, None, "B"]


def test_optional_columns_are_found_by_name_too():
    frame = HERD.rename(columns={"animal": "Individual"}).assign(
        Year=[1, 1, 2, 2, 3, 3], Inbreeding=[0.25] + [np.nan] * 5, Gender=list("MFMFMF"))
    ped = kinvar.Pedigree.from_frame(frame)
    assert ped.groups == [1, 2, 3]
    assert ped.relationship("S1", "S1") == 1.25


def test_herd_names_are_groups_numbered_in_order_of_first_appearance():
    frame = HERD.assign(herd=["North", "South", "North", None, "East", "South"])
    ped = kinvar.Pedigree.from_frame(frame)
    assert ped.groups == [1, 2, 3]
    assert ped.group_names == {1: "North", 2: "South", 3: "East"}
    assert list(ped.inbreeding()["group"]) == ["North", "South", "North", None, "East", "South",
                                               None]
    assert ped.extract("A1").group_names == ped.group_names
    numbers = HERD.assign(herd=["3", "3", "4", "4", ".", "5"])
    assert kinvar.Pedigree.from_frame(numbers).groups == [3, 4, 5]
    assert kinvar.Pedigree.from_frame(numbers).group_names == {}


def test_ids_in_two_letter_cases_are_one_animal_spelled_as_first_written():
    frame = pd.DataFrame({"animal": ["calf1", "calf2"], "sire": ["at49m45398", "AT49M45398"],
                          "dam": [None, None]})
    ped = kinvar.Pedigree.from_frame(frame)
    assert list(ped.ids) == ["calf1", "calf2", "at49m45398"]
    assert ped.relationship("calf1", "calf2") == 0.25


# Named rows: inputs from_frame refuses -> the error class and its exact message.
REFUSED = {
    "None": (None, {}, kinvar.NotAFrame,
             "from_frame needs a pandas DataFrame, not None; make one with pandas.DataFrame(...) "
             "or pandas.read_csv(...)."),
    "a dict": ({"animal": ["A"], "sire": [None], "dam": [None]}, {}, kinvar.NotAFrame,
               "from_frame needs a pandas DataFrame, not a dict; make one with "
               "pandas.DataFrame(...) or pandas.read_csv(...)."),
    "a list of tuples": ([("A", None, None)], {}, kinvar.NotAFrame,
                         "from_frame needs a pandas DataFrame, not a list; make one with "
                         "pandas.DataFrame(...) or pandas.read_csv(...)."),
    "no rows": (pd.DataFrame({"animal": [], "sire": [], "dam": []}), {}, kinvar.BadFrame,
                "The data frame has no rows."),
    "a column not in the frame": (HERD, {"id": "tag"}, kinvar.MissingColumn,
                                  "id='tag': the frame has no such column; its columns are "
                                  "'animal', 'sire', 'dam'."),
    "fractions without their columns": (HERD, {"genetic_groups": ["X"],
                                               "group_fractions": pd.DataFrame({"individual": ["A1"]})},
                                         kinvar.MissingColumn, "group_fractions has no column 'parent'"),
    "no dam column": (pd.DataFrame({"animal": ["A"], "sire": [None], "weight": [3.0]}), {},
                      kinvar.MissingColumn,
                      'No column of the data frame stands for the dam: name it "dam" or "mother", '
                      "or give dam=."),
    "two ID columns": (HERD.assign(id=HERD["animal"]), {}, kinvar.Refused,
                       'Error: The header names the column Progeny twice: "animal" and "id".'),
    "logical sex": (HERD.assign(sex=[True, False] * 3), {}, kinvar.ColumnTypeError,
                    'Column "sex" holds True and False, which cannot be sexes. Write the sexes '
                    'as "M" and "F" (or 1 and 2).'),
    "21-digit ear tags as floats": (
        pd.DataFrame({"animal": [1.0, 2.0, 276000123456789012345.0], "sire": [np.nan] * 3,
                      "dam": [np.nan] * 3}), {}, kinvar.BadFrame,
        'Row 3, column "animal": the ID 2.7600012345678902e+20 is not a whole number below 2^53, '
        "which a float holds exactly, so animals could be taken for one another. Read the column "
        "as text (dtype=str)."),
    "infinite ID": (pd.DataFrame({"animal": [1.0, np.inf], "sire": [np.nan] * 2,
                                  "dam": [np.nan] * 2}), {}, kinvar.BadFrame,
                    'Row 2, column "animal": the ID inf is not a whole number below 2^53, which a '
                    "float holds exactly, so animals could be taken for one another. Read the "
                    "column as text (dtype=str)."),
    "a parent 1.5": (pd.DataFrame({"animal": [1, 2], "sire": [np.nan, 1.5],
                                   "dam": [np.nan, np.nan]}), {}, kinvar.BadFrame,
                     'Row 2, column "sire": the ID 1.5 is not a whole number below 2^53, which a '
                     "float holds exactly, so animals could be taken for one another. Read the "
                     "column as text (dtype=str)."),
    "F that is text": (HERD.assign(F=["0.1", "abc", "", "", "", ""]), {}, kinvar.Refused,
                       "Error in row 2.\nThe inbreeding coefficient must be a number in "
                       'the range of 0 - 1.\nColumn F: "abc"'),
}


@pytest.mark.parametrize("name", REFUSED)
def test_wrong_inputs_raise_the_packages_errors_with_their_words(name):
    frame, arguments, error, message = REFUSED[name]
    with pytest.raises(error) as caught:
        kinvar.Pedigree.from_frame(frame, **arguments)
    assert isinstance(caught.value, kinvar.KinvarError)
    assert str(caught.value) == message


def test_not_a_frame_is_a_type_error_and_a_bad_column_a_key_error():
    assert issubclass(kinvar.NotAFrame, TypeError)
    assert issubclass(kinvar.ColumnTypeError, TypeError)
    assert issubclass(kinvar.MissingColumn, KeyError)
    assert issubclass(kinvar.BadFrame, ValueError)


def test_a_readers_message_names_the_row_and_the_callers_column():
    frame = HERD.assign(Weight=1, born=["2020-01-01", "2020-13-01", None, None, None, None])
    with pytest.raises(kinvar.Refused) as caught:
        kinvar.Pedigree.from_frame(frame, birth_date="born")
    assert str(caught.value) == ('Error in row 2, column born.\n"2020-13-01" is not a birth date. '
                                 "Write a date as 2021-04-17, or a year alone as 2021.")


def test_datetime_birth_dates_are_accepted():
    frame = HERD.assign(birth=pd.to_datetime(["2020-01-01"] * 6), sex=list("MFMFMF"))
    ped = kinvar.Pedigree.from_frame(frame, birth_date="birth")
    assert len(ped) == 7


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


def test_validation_messages_name_the_rows_of_the_frame():
    frame = pd.DataFrame({"animal": ["A", "B", "A", "C"], "sire": [None, None, None, "B"],
                          "dam": [None, None, None, "C"]})
    with pytest.raises(kinvar.InvalidPedigree) as caught:
        kinvar.Pedigree.from_frame(frame)
    assert caught.value.errors == [
        "A appearing more than once in the progeny list (rows 1, 3).",
        "C appearing in its ancestors list (Cycling pedigree), row 4.",
        "Cycle: C (row 4) > C"]
