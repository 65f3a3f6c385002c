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


def _first_spellings(frame: pd.DataFrame, unknown: set) -> dict:
    """Each individual's first spelling (row by row; in a row the individual,
    its sire, its dam) by its upper-case ID, written without the module."""
    first = {}
    for row in frame.iloc[:, :3].itertuples(index=False):
        for cell in row:
            text = None if pd.isna(cell) else str(cell).strip()
            if text and text.strip("0") and text.upper() not in unknown:
                first.setdefault(text.upper(), text)
    return first


def _expect_first_spellings(f: pd.DataFrame, frame: pd.DataFrame, unknown=(), name=""):
    """The rows' cells as each individual was first spelled (None for an
    unknown parent), then the parents without a row (in any order)."""
    unknown = {u.upper() for u in unknown}
    first = _first_spellings(frame, unknown)

    def spelled(cell):
        text = None if pd.isna(cell) else str(cell).strip()
        if not text or not text.strip("0") or text.upper() in unknown:
            return None
        return first[text.upper()]

    rows = len(frame)
    for k, column in enumerate(("id", "sire", "dam")):
        expected = [spelled(cell) for cell in frame.iloc[:, k]]
        assert _values(f[column])[:rows] == expected, (name, column)
    added = set(first.values()) - set(f["id"][:rows])
    assert sorted(f["id"][rows:]) == sorted(added), name
    assert f["sire"][rows:].isna().all() and f["dam"][rows:].isna().all(), name


def _frame(ids, sires, dams, dtype=None) -> pd.DataFrame:
    frame = pd.DataFrame({"animal": ids, "sire": sires, "dam": dams})
    return frame if dtype is None else frame.astype(dtype)


GAMMA = pd.DataFrame({"group1": ["m1", "m1", "M2"], "group2": ["m1", "m2", "m2"], "value": [0.2, 0.05, 0.1]})


@dataclass
class SpellingRow:
    name: str
    frame: pd.DataFrame
    load: dict
    unknown: tuple = ()


SPELLING_ROWS = [
    SpellingRow("two letter cases", _frame(["ab", "cd", "EF", "Gh"], [None, "AB", "ab", "cd"],
                                           [None, None, "x9", "X9"]), {}),
    SpellingRow("upper case first", _frame(["AB", "cd", "ef"], [None, "ab", "Ab"], [None, None, "CD"]), {}),
    SpellingRow("unknown-parent codes and blanks",
                _frame(["ab", " cd", "ef ", "gH"], ["0", "", "AB", "000"], [None, "00", " cD ", "Ef"]), {}),
    SpellingRow("parents named only as parents", _frame(["k1", "k2"], ["s1", "S1"], ["d1", "d2"]), {}),
    SpellingRow("categoricals", _frame(["ab", "cd", "EF"], [None, "AB", "ab"], [None, "x9", "X9"], "category"), {}),
    SpellingRow("pandas strings", _frame(["ab", "cd", "EF"], [None, "AB", "ab"], [None, "x9", "X9"], "string"), {}),
    SpellingRow("non-ASCII text", _frame(["\u00c4ngel", "b\u00e9", "c"], [None, "\u00c4ngel", "B\u00e9"],
                                         [None, None, None]), {}),
    SpellingRow("genetic groups", _frame(["ab", "cd", "EF", "gh"], ["g1", "AB", "ab", "cd"], ["0", "G1", None, "x9"]),
                {"genetic_groups": ["G1"]}, ("G1",)),
    SpellingRow("metafounders", _frame(["ab", "cd", "EF", "Gh"], ["M1", "AB", "ab", "cd"], ["m2", "m2", "x8", "x9"]),
                {"metafounders": GAMMA}, ("M1", "M2")),
]


@pytest.mark.parametrize("row", SPELLING_ROWS, ids=[row.name for row in SPELLING_ROWS])
def test_id_columns_give_every_individual_its_first_spelling(row):
    before = row.frame.copy()
    ped = kinvar.Pedigree.from_frame(row.frame, **row.load)
    f = ped.inbreeding()
    _expect_first_spellings(f, row.frame, row.unknown, row.name)
    assert list(ped.ids) == f["id"].tolist(), row.name
    # A second call gives the same, and the frame is left as it was.
    pd.testing.assert_frame_equal(ped.inbreeding(), f)
    pd.testing.assert_frame_equal(row.frame, before)


def _random_frame(rng: np.random.Generator, n: int) -> pd.DataFrame:
    """Sires of odd number and dams of even from the ten before, two
    founders without a row, letters in lower case now and then."""
    base = [f"AN{k}X{rng.integers(1_000_000)}" for k in range(1, n + 1)]

    def parent(i, sex):
        near = [k for k in range(max(1, i - 10), i) if k % 2 == sex]
        if i <= 5 or not near or rng.random() < 0.1:
            return "0" if rng.random() < 0.8 else None
        return base[rng.choice(near) - 1]

    cells = [[base[i - 1], parent(i, 1), parent(i, 0)] for i in range(1, n + 1)]
    dropped = set(rng.choice(5, size=2, replace=False))
    cells = [row for k, row in enumerate(cells) if k not in dropped]
    for row in cells:
        for c, cell in enumerate(row):
            if cell is not None and rng.random() < 0.3:
                row[c] = cell.lower()
    return pd.DataFrame(cells, columns=["animal", "sire", "dam"])


@pytest.mark.parametrize("dtype", [None, "category", "string"])
def test_random_frames_give_every_individual_its_first_spelling(dtype):
    rng = np.random.default_rng(11)
    for trial in range(12):
        frame = _random_frame(rng, int(rng.integers(20, 400)))
        if dtype is not None:
            frame = frame.astype(dtype)
        f = kinvar.Pedigree.from_frame(frame).inbreeding()
        _expect_first_spellings(f, frame, name=f"{dtype} trial {trial}")
