"""Shared fixtures: the example pedigrees, kinvar-cli, random pedigrees and
the relationship matrix computed the tabular way, independently of Kinvar."""

import os
import pathlib

import numpy as np
import pandas as pd
import pytest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = REPOSITORY / "examples"


@pytest.fixture
def examples():
    return EXAMPLES


@pytest.fixture
def cli():
    """kinvar-cli, from KINVAR_CLI; the tests that need it skip without it."""
    path = os.environ.get("KINVAR_CLI")
    if not path:
        pytest.skip("KINVAR_CLI is not set")
    return pathlib.Path(path)


def random_pedigree(seed, n, outside=0.15, unknown=0.15, founder_f=False, progeny_f=False):
    """A data frame of n rows in shuffled order (animal, sire, dam, f): even
    indices are males, odd ones females, parents are earlier animals, a
    parent named "XS.."/"XD.." that has no row, or unknown (None).

    Predefined F goes to some founders and, with `progeny_f`, to whole
    full-sib families, above the F their parents give (so that A stays
    positive definite); returned beside the frame as a dict ID -> F."""
    rng = np.random.default_rng(seed)
    rows = []
    for k in range(n):
        parents = []
        for sex in (0, 1):
            earlier = [j for j in range(sex, k, 2)]
            draw = rng.random()
            if draw < unknown or (not earlier and draw < 1 - outside):
                parents.append(None)
            elif draw < unknown + outside or not earlier:
                parents.append(f"X{'SD'[sex]}{rng.integers(0, 1 + n // 10)}")
            else:
                parents.append(f"I{earlier[rng.integers(0, len(earlier))]}")
        rows.append((f"I{k}", *parents))
    frame = pd.DataFrame(rows, columns=["animal", "sire", "dam"])
    predefined = {}
    if founder_f:
        for animal, sire, dam in rows:
            if sire is None and dam is None and rng.random() < 0.5:
                predefined[animal] = float(rng.choice([0.0625, 0.125, 0.25]))
    if progeny_f:
        predefined.update(_family_f(rows, predefined, rng))
    frame["f"] = [predefined.get(a, np.nan) for a in frame["animal"]]
    order = rng.permutation(n)
    return frame.iloc[order].reset_index(drop=True), predefined


def _family_f(rows, predefined, rng):
    """Predefined F for about a third of the full-sib families, one value a
    family: the F its parents give plus 1/16, on a grid of 1/1024."""
    ids, a = tabular_a([(x, s, d) for x, s, d in rows], predefined)
    at = {x: i for i, x in enumerate(ids)}
    families = {}
    for animal, sire, dam in rows:
        if sire is not None and dam is not None:
            families.setdefault((sire, dam), []).append(animal)
    chosen = {}
    for (sire, dam), members in families.items():
        if rng.random() < 1 / 3:
            f = min(1.0, np.ceil((a[at[sire], at[dam]] / 2 + 0.0625) * 1024) / 1024)
            chosen.update({m: f for m in members})
    return chosen


def tabular_a(rows, predefined):
    """The numerator relationship matrix by the tabular method, rows and
    columns in the order returned (parents first). `rows` are (id, sire,
    dam) with None for unknown; parents without a row are founders."""
    listed = {x for x, _, _ in rows}
    outside = [p for _, s, d in rows for p in (s, d) if p is not None and p not in listed]
    order = list(dict.fromkeys(outside)) + _parents_first(rows)
    at = {x: i for i, x in enumerate(order)}
    parents = {x: (s, d) for x, s, d in rows}
    a = np.zeros((len(order), len(order)))
    for i, x in enumerate(order):
        s, d = parents.get(x, (None, None))
        si, di = at.get(s), at.get(d)
        for j in range(i):
            a[i, j] = a[j, i] = 0.5 * ((a[si, j] if si is not None else 0) +
                                       (a[di, j] if di is not None else 0))
        inbred = 0.5 * a[si, di] if si is not None and di is not None else 0.0
        a[i, i] = 1 + predefined.get(x, inbred)
    return order, a


def _parents_first(rows):
    index = {x: (s, d) for x, s, d in rows}
    placed, order = set(), []

    def place(x):
        stack = [x]
        while stack:
            top = stack[-1]
            missing = [p for p in index.get(top, (None, None)) if p in index and p not in placed]
            if missing:
                stack.extend(missing)
                continue
            stack.pop()
            if top not in placed:
                placed.add(top)
                order.append(top)

    for x, _, _ in rows:
        place(x)
    return order


def in_order(ids, order, a):
    """`a` (rows and columns in `order`) rearranged to `ids`."""
    at = {x: i for i, x in enumerate(order)}
    take = np.array([at[x] for x in ids])
    return a[np.ix_(take, take)]
