"""A, its diagonal and its inverse against the tabular method in NumPy."""

import numpy as np
import pandas as pd
import pytest
import scipy.sparse

import kinvar
from conftest import in_order, random_pedigree, tabular_a

# Named cases: (seed, rows, predefined F on founders, on full-sib families).
CASES = {
    "six rows": (1, 6, False, False),
    "small, no F": (2, 25, False, False),
    "added parents and unknowns": (3, 60, False, False),
    "founders with F": (4, 60, True, False),
    "families with F": (5, 80, True, True),
    "deeper": (6, 150, False, True),
}


def build(case):
    seed, n, founder_f, progeny_f = CASES[case]
    frame, predefined = random_pedigree(seed, n, founder_f=founder_f, progeny_f=progeny_f)
    ped = kinvar.Pedigree.from_frame(frame, f="f")
    rows = list(frame[["animal", "sire", "dam"]].itertuples(index=False, name=None))
    rows = [(x, s if isinstance(s, str) else None, d if isinstance(d, str) else None)
            for x, s, d in rows]
    order, a = tabular_a(rows, predefined)
    return ped, in_order(list(ped.ids), order, a)


@pytest.mark.parametrize("case", CASES)
def test_relationship_matrix_is_the_tabular_a(case):
    ped, a = build(case)
    got = ped.relationship_matrix(ped.ids)
    assert got.shape == a.shape
    np.testing.assert_allclose(got, a, rtol=1e-6, atol=1e-7)


@pytest.mark.parametrize("case", CASES)
def test_diagonal_is_one_plus_f(case):
    ped, a = build(case)
    f = ped.inbreeding().set_index("id")["f"].reindex(ped.ids).to_numpy()
    np.testing.assert_allclose(np.diag(ped.relationship_matrix(ped.ids)), 1 + f, rtol=1e-7)
    np.testing.assert_allclose(1 + f, np.diag(a), rtol=1e-6)


@pytest.mark.parametrize("case", CASES)
def test_ainverse_is_the_inverse_of_a(case):
    ped, a = build(case)
    ainv = ped.ainverse()
    assert isinstance(ainv, scipy.sparse.csr_matrix)
    assert ainv.has_sorted_indices
    dense = ainv.toarray()
    np.testing.assert_array_equal(dense, dense.T)
    expected = np.linalg.inv(a)
    scale = np.abs(expected).max()
    np.testing.assert_allclose(dense, expected, rtol=1e-6, atol=1e-6 * scale)


def test_relationship_matrix_follows_the_ids_given():
    ped, a = build("small, no F")
    ids = list(ped.ids)
    picked = [ids[7], ids[2], ids[7].lower(), ids[11]]
    at = [7, 2, 7, 11]
    got = ped.relationship_matrix(picked)
    np.testing.assert_allclose(got, a[np.ix_(at, at)], rtol=1e-6, atol=1e-7)
    coefficient = ped.relationship_matrix(picked, type="coefficient")
    for i in range(4):
        for j in range(4):
            assert coefficient[i, j] == pytest.approx(
                ped.relationship(picked[i], picked[j], type="coefficient"), abs=0)
            assert got[i, j] == pytest.approx(ped.relationship(picked[i], picked[j]), abs=0)


def test_a_matrix_above_the_limit_is_refused():
    ped, _ = build("six rows")
    side = int(np.sqrt(kinvar.MAX_MATRIX_CELLS)) + 1
    with pytest.raises(kinvar.Refused):
        ped.relationship_matrix([ped.ids[0]] * side)
    assert len(ped.inbreeding()) == len(ped)


def test_relationships_listing_agrees_with_the_matrix():
    ped, a = build("added parents and unknowns")
    at = {x: i for i, x in enumerate(ped.ids)}
    pairs = ped.relationships()
    assert len(pairs) > 0
    for id1, id2, value in pairs.itertuples(index=False, name=None):
        assert value == pytest.approx(a[at[id1], at[id2]], rel=1e-6, abs=1e-7)
    high = ped.relationships(range=(0.5, 2))
    assert ((high["value"] >= 0.5) & (high["value"] <= 2)).all()
    assert len(high) == int(((pairs["value"] >= 0.5) & (pairs["value"] <= 2)).sum())


def test_pairs_among_given_ids_are_each_pair_once():
    ped, a = build("families with F")
    ids = list(ped.ids)
    chosen = [ids[i] for i in (40, 3, 77, 12, 60)]
    at = {x: i for i, x in enumerate(ids)}
    pairs = ped.relationships(chosen)
    assert len(pairs) == 10
    assert {frozenset(p) for p in zip(pairs["id1"], pairs["id2"])} == \
        {frozenset((x, y)) for i, x in enumerate(chosen) for y in chosen[i + 1:]}
    for id1, id2, value in pairs.itertuples(index=False, name=None):
        assert value == pytest.approx(a[at[id1], at[id2]], rel=1e-6, abs=1e-7)
