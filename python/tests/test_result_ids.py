"""Every ID column of a result comes back in the type of the caller's IDs."""

from dataclasses import dataclass

import numpy as np
import pandas as pd
import pytest

import kinvar


@dataclass
class Row:
    name: str
    frame: pd.DataFrame
    ids: list
    sires: list  # None where unknown
    integers: bool


ROWS = [
    Row("int64", pd.DataFrame({"animal": [10, 11, 12, 13], "sire": [0, 0, 10, 12],
                               "dam": [0, 0, 11, 5]}),
        [10, 11, 12, 13, 5], [None, None, 10, 12, None], True),
    Row("parents read as floats with NaN",
        pd.DataFrame({"animal": [10, 11, 12], "sire": [np.nan, np.nan, 10.0],
                      "dam": [np.nan, np.nan, 11.0]}),
        [10, 11, 12], [None, None, 10], True),
    Row("negative and large integers",
        pd.DataFrame({"animal": [-3, 2**40, 7], "sire": [0, 0, -3], "dam": [0, 0, 2**40]}),
        [-3, 2**40, 7], [None, None, -3], True),
    Row("categorical of integers",
        pd.DataFrame({"animal": pd.Categorical([7, 3, 9]), "sire": pd.Categorical([None, None, 7]),
                      "dam": pd.Categorical([None, None, 3])}),
        [7, 3, 9], [None, None, 7], True),
    Row("categorical of strings",
        pd.DataFrame({"animal": pd.Categorical(["b7", "a3", "C9"]),
                      "sire": pd.Categorical([None, None, "b7"]),
                      "dam": pd.Categorical([None, None, "a3"])}),
        ["b7", "a3", "C9"], [None, None, "b7"], False),
    Row("strings of digits",
        pd.DataFrame({"animal": ["10", "11", "12"], "sire": [None, None, "10"],
                      "dam": [None, None, "11"]}),
        ["10", "11", "12"], [None, None, "10"], False),
    # A parent given as text among integer IDs: the table's IDs stay text,
    # all of its ID columns alike.
    Row("integer IDs, a parent as text",
        pd.DataFrame({"animal": [10, 11, 12], "sire": [None, None, "X7"], "dam": [0, 0, 11]}),
        ["10", "11", "12", "X7"], [None, None, "X7", None], False),
]


def _values(column: pd.Series) -> list:
    return [None if pd.isna(v) else v for v in column.tolist()]


@pytest.mark.parametrize("row", ROWS, ids=[row.name for row in ROWS])
def test_id_columns_keep_the_callers_type(row):
    f = kinvar.Pedigree.from_frame(row.frame).inbreeding()
    assert _values(f["id"]) == row.ids, row.name
    assert _values(f["sire"]) == row.sires, row.name
    for column in ("id", "sire", "dam"):
        is_integer = pd.api.types.is_integer_dtype(f[column].dtype)
        assert is_integer == row.integers, (row.name, column, f[column].dtype)


def test_integer_ids_in_other_results_and_in_an_extract():
    frame = pd.DataFrame({"animal": [1, 2, 3, 4, 5], "sire": [0, 0, 1, 1, 3],
                          "dam": [0, 0, 2, 2, 4]})
    ped = kinvar.Pedigree.from_frame(frame)
    pairs = ped.relationships(ids=[3, 4, 5])
    assert pd.api.types.is_integer_dtype(pairs.iloc[:, 0].dtype)
    assert pd.api.types.is_integer_dtype(pairs.iloc[:, 1].dtype)
    ancestors = ped.extract(5)
    assert ancestors.inbreeding()["id"].tolist() == [1, 2, 3, 4, 5]
    assert ped.inbreeding()["f"].tolist() == [0, 0, 0, 0, 0.25]


def test_a_files_ids_stay_text_even_where_they_are_digits(tmp_path):
    path = tmp_path / "digits.csv"
    path.write_text("Progeny,Sire,Dam\n1,0,0\n2,0,0\n3,1,2\n")
    assert kinvar.read_pedigree(path).inbreeding()["id"].tolist() == ["1", "2", "3"]
