"""The matrices for mixed models beyond A^-1: the inverse with genetic groups
against Quaas's augmented inverse and kinvar-cli, the X-linked S against its
tabular rules."""

import numpy as np
import pandas as pd
import pytest
import scipy.sparse

import kinvar
from test_cli_agreement import cli_matrix, run_cli

GROUPS = ["gA", "Gb", "GC"]


def grouped_pedigree(seed, n, fuzzy):
    """Rows I0..I(n-1), sires at even positions and dams at odd ones; an
    unknown parent is often a group (spelled in another case than GROUPS),
    with `fuzzy` sometimes spread over two groups. Returns the frame, the
    fractions, each row's parents by position (-1 unknown) and Q, each
    individual's expected share of each group's genes."""
    rng = np.random.default_rng(seed)
    g = len(GROUPS)
    parents, cells, fractions = [], [], []
    q = np.zeros((n, g))
    for i in range(n):
        known, named = [-1, -1], ["0", "0"]
        for role in (0, 1):
            earlier = list(range(role, i, 2))
            draw = rng.random()
            if draw < 0.5 and earlier:
                p = earlier[rng.integers(0, len(earlier))]
                known[role], named[role] = p, f"I{p}"
                q[i] += 0.5 * q[p]
            elif draw < 0.8:
                k = int(rng.integers(0, g))
                named[role] = GROUPS[k].upper()
                q[i, k] += 0.5
            elif draw < 0.9 and fuzzy:
                a, b = rng.choice(g, 2, replace=False)
                share = float(rng.choice([0.25, 0.5, 0.75]))
                parent = ("sire", "DAM")[role]
                fractions += [(f"i{i}", parent, GROUPS[a], share), (f"I{i}", parent, GROUPS[b], 1 - share)]
                q[i, a] += 0.5 * share
                q[i, b] += 0.5 * (1 - share)
        parents.append(known)
        cells.append((f"I{i}", *named))
    frame = pd.DataFrame(cells, columns=["animal", "sire", "dam"])
    return frame, fractions, parents, q


def tabular_a(parents):
    """A of rows listed parents first, positions -1 for unknown."""
    n = len(parents)
    a = np.zeros((n, n))
    for i, (s, d) in enumerate(parents):
        for j in range(i):
            a[i, j] = a[j, i] = 0.5 * ((a[j, s] if s >= 0 else 0) + (a[j, d] if d >= 0 else 0))
        a[i, i] = 1 + (0.5 * a[s, d] if s >= 0 and d >= 0 else 0)
    return a


def quaas_inverse(a, q):
    """Quaas (1988): [A^-1, -A^-1 Q; -Q'A^-1, Q'A^-1 Q]."""
    ainv = np.linalg.inv(a)
    aq = ainv @ q
    return np.block([[ainv, -aq], [-aq.T, q.T @ aq]])


# Named cases: (seed, rows, fuzzy groups).
GROUP_CASES = {
    "plain groups": (11, 20, False),
    "fuzzy groups": (12, 40, True),
    "deeper": (13, 120, True),
}


@pytest.mark.parametrize("case", GROUP_CASES)
def test_ainverse_with_groups_is_quaas_augmented_inverse(case):
    seed, n, fuzzy = GROUP_CASES[case]
    frame, fractions, parents, q = grouped_pedigree(seed, n, fuzzy)
    table = pd.DataFrame(fractions, columns=["individual", "parent", "group", "fraction"])
    ped = kinvar.Pedigree.from_frame(frame, genetic_groups=GROUPS, group_fractions=table)
    assert ped.group_ids == GROUPS
    expected = quaas_inverse(tabular_a(parents), q)
    exact = ped.ainverse(precision="double")
    assert isinstance(exact, scipy.sparse.csr_matrix)
    assert exact.shape == (n + len(GROUPS), n + len(GROUPS))
    np.testing.assert_allclose(exact.toarray(), expected, rtol=1e-9, atol=1e-9)
    scale = np.abs(expected).max()
    np.testing.assert_allclose(ped.ainverse(precision="single").toarray(), expected, rtol=1e-5, atol=1e-5 * scale)
    # Groups are unknown parents to F; fractions as tuples give the same.
    f = ped.inbreeding().set_index("id")["f"].reindex(ped.ids).to_numpy()
    np.testing.assert_allclose(1 + f, np.diag(tabular_a(parents)), rtol=1e-6)
    again = kinvar.Pedigree.from_frame(frame, genetic_groups=GROUPS, group_fractions=fractions)
    np.testing.assert_array_equal(again.ainverse(precision="single").toarray(), ped.ainverse(precision="single").toarray())


def test_ainverse_with_groups_equals_cli_triplets(cli, tmp_path):
    frame, fractions, _, _ = grouped_pedigree(14, 80, True)
    pedigree = tmp_path / "grouped.pdg"
    frame.to_csv(pedigree, sep=" ", index=False)
    groups = tmp_path / "groups.txt"
    groups.write_text("\n".join(GROUPS) + "\n")
    shares = tmp_path / "fractions.txt"
    shares.write_text("".join(f"{i} {p} {g} {x}\n" for i, p, g, x in fractions))
    arguments = ["inverse", str(pedigree), "--genetic-groups", str(groups),
                 "--group-fractions", str(shares), "--triplets"]
    ped = kinvar.read_pedigree(pedigree, genetic_groups=GROUPS, group_fractions=fractions)
    assert len(ped.group_ids) == len(GROUPS)
    expected = cli_matrix(cli, arguments, "ainverse", tmp_path, ped.ids, ped.group_ids)
    np.testing.assert_array_equal(ped.ainverse(precision="single").toarray(), expected)


# Named rows: the groups, the fractions and the library's reason.
REFUSALS = {
    "a group with a row": (["G1", "A"], None, "A is a genetic group and has a line of its own."),
    "fractions without groups": (None, [("B", "sire", "G1", 1.0)],
                                 "Group fractions need genetic groups."),
    "a group twice": (["G1", "g1"], None, "Genetic group 2: G1 is listed twice."),
    "a known parent": (["G1", "G2"], [("C", "dam", "G1", 1.0)],
                       "Row 1 of the group fractions: the dam of C is known."),
    "short of 1": (["G1", "G2"], [("B", "sire", "G1", 0.5)],
                   "The fractions of the sire of B do not sum to 1."),
}


@pytest.mark.parametrize("case", REFUSALS)
def test_group_options_are_refused_with_the_reason(case):
    groups, fractions, message = REFUSALS[case]
    frame = pd.DataFrame({"animal": ["A", "B", "C"], "sire": ["0", "G1", "A"],
                          "dam": ["0", "G2", "B"]})
    with pytest.raises(kinvar.Refused) as refused:
        kinvar.Pedigree.from_frame(frame, genetic_groups=groups, group_fractions=fractions)
    assert str(refused.value) == message


def sexed_pedigree(seed, n):
    """Rows X0.., even ones male, parents earlier or unknown; a sex column."""
    rng = np.random.default_rng(seed)
    parents, cells = [], []
    for i in range(n):
        known = []
        for role in (0, 1):
            earlier = list(range(role, i, 2))
            known.append(earlier[rng.integers(0, len(earlier))] if earlier and rng.random() < 0.8 else -1)
        parents.append(known)
        cells.append((f"X{i}", *(f"X{p}" if p >= 0 else None for p in known), "MF"[i % 2]))
    return pd.DataFrame(cells, columns=["animal", "sire", "dam", "sex"]), parents


def tabular_s(parents):
    """S by its rules: s(m, m) = 1, s(f, f) = (1 + s(sire, dam)) / 2, and for
    y younger than x, s(x, dam of y) for a male y, the parents' mean for a
    female y."""
    n = len(parents)
    s = np.zeros((n, n))
    at = lambda x, p: s[x, p] if p >= 0 else 0.0  # noqa: E731
    for y, (sire, dam) in enumerate(parents):
        male = y % 2 == 0
        for x in range(y):
            s[x, y] = s[y, x] = at(x, dam) if male else 0.5 * (at(x, sire) + at(x, dam))
        s[y, y] = 1.0 if male else 0.5 * (1 + (s[sire, dam] if sire >= 0 and dam >= 0 else 0))
    return s


@pytest.mark.parametrize("seed, n", [(21, 12), (22, 40), (23, 90)])
def test_x_linked_follows_the_rules_and_inverts(seed, n):
    frame, parents = sexed_pedigree(seed, n)
    ped = kinvar.Pedigree.from_frame(frame, sex="sex")
    assert list(ped.ids) == list(frame["animal"])
    s = ped.x_linked()
    sinv = ped.x_linked(inverse=True)
    assert isinstance(s, scipy.sparse.csr_matrix) and s.has_sorted_indices
    expected = tabular_s(parents)
    np.testing.assert_allclose(s.toarray(), expected, rtol=1e-6, atol=1e-7)
    np.testing.assert_allclose((sinv @ expected), np.eye(n), atol=1e-4)


def test_x_linked_inverse_equals_cli_triplets(cli, tmp_path):
    frame, _ = sexed_pedigree(24, 60)
    pedigree = tmp_path / "sexed.pdg"
    frame.fillna("0").rename(columns={"sex": "Sex"}).to_csv(pedigree, sep=" ", index=False)
    arguments = ["x-linked", str(pedigree), "--inverse", "--triplets"]
    ped = kinvar.read_pedigree(pedigree)
    expected = cli_matrix(cli, arguments, "xlinked_inverse", tmp_path, ped.ids)
    np.testing.assert_array_equal(ped.x_linked(inverse=True).toarray(), expected)


def test_x_linked_refuses_an_unknown_sex():
    frame = pd.DataFrame({"animal": ["A", "B", "C", "Z"], "sire": [None, None, "A", None],
                          "dam": [None, None, "B", None]})
    ped = kinvar.Pedigree.from_frame(frame)
    for inverse in (False, True):
        with pytest.raises(kinvar.Refused) as refused:
            ped.x_linked(inverse=inverse)
        assert str(refused.value) == (
            "The sex of Z is unknown: X-linked relationships need the sex of every individual "
            "(a Sex column, or its role as a parent).")
    assert len(ped.inbreeding()) == 4


METAFOUNDERS = ["mf1", "MF2", "Mf3"]


def metafounder_pedigree(seed, n):
    """Rows M0..M(n-1), sires at even positions and dams at odd ones; an
    unknown parent is mostly a metafounder, sometimes plain unknown. Gamma
    is random positive definite, given as rows in shuffled order. Returns
    the frame, Gamma's rows and A^Gamma by the tabular method over the
    pedigree augmented with the metafounders, placed after the individuals
    in METAFOUNDERS order."""
    rng = np.random.default_rng(seed)
    g = len(METAFOUNDERS)
    b = rng.random((g, g))
    # Multiples of 1/256, which the library's 32-bit floats hold exactly.
    gamma = np.round((b @ b.T / g + 0.05 * np.eye(g)) * 256) / 256
    m = n + g
    parents, cells = [], []
    for i in range(n):
        known, named = [-1, -1], ["0", "0"]
        for role in (0, 1):
            earlier = list(range(role, i, 2))
            draw = rng.random()
            if draw < 0.5 and earlier:
                p = earlier[rng.integers(0, len(earlier))]
                known[role], named[role] = p, f"M{p}"
            elif draw < 0.9:
                k = int(rng.integers(0, g))
                known[role], named[role] = n + k, METAFOUNDERS[k]
        parents.append(known)
        cells.append((f"M{i}", *named))
    a = np.zeros((m, m))
    a[n:, n:] = gamma
    at = lambda p, j: a[p, j] if p >= 0 else 0.0  # noqa: E731
    for i, (s, d) in enumerate(parents):
        for j in [*range(i), *range(n, m)]:
            a[i, j] = a[j, i] = 0.5 * (at(s, j) + at(d, j))
        a[i, i] = 1 + (0.5 * at(s, d) if d >= 0 else 0.0)
    rows = [(METAFOUNDERS[i], METAFOUNDERS[j], float(gamma[i, j])) for i in range(g) for j in range(i, g)]
    rows = [rows[k] for k in rng.permutation(len(rows))]
    return pd.DataFrame(cells, columns=["animal", "sire", "dam"]), rows, a


@pytest.mark.parametrize("seed, n", [(31, 15), (32, 40), (33, 90)])
def test_metafounders_follow_the_tabular_a_gamma(seed, n):
    frame, rows, a = metafounder_pedigree(seed, n)
    gamma = pd.DataFrame(rows, columns=["group1", "group2", "value"])
    ped = kinvar.Pedigree.from_frame(frame, metafounders=gamma)
    # Numbered in the order the rows first name them.
    named = list(dict.fromkeys(x for row in rows for x in row[:2]))
    assert ped.group_ids == named
    order = [*range(n), *(n + METAFOUNDERS.index(x) for x in named)]
    f = ped.inbreeding().set_index("id")["f"].reindex(ped.ids).to_numpy()
    np.testing.assert_allclose(f, np.diag(a)[:n] - 1, atol=1e-6)
    np.testing.assert_allclose(ped.relationship_matrix(ped.ids), a[:n, :n], atol=1e-6)
    expected = np.linalg.inv(a)[np.ix_(order, order)]
    np.testing.assert_allclose(ped.ainverse(precision="double").toarray(), expected, rtol=1e-8, atol=1e-8)
    scale = np.abs(expected).max()
    np.testing.assert_allclose(ped.ainverse(precision="single").toarray(), expected, rtol=1e-4, atol=1e-4 * scale)
    # Tuples give the same.
    again = kinvar.Pedigree.from_frame(frame, metafounders=rows)
    np.testing.assert_array_equal(again.ainverse(precision="single").toarray(), ped.ainverse(precision="single").toarray())


def test_metafounders_equal_cli_f_and_triplets(cli, tmp_path):
    frame, rows, _ = metafounder_pedigree(34, 70)
    pedigree = tmp_path / "metafounders.pdg"
    frame.to_csv(pedigree, sep=" ", index=False)
    gamma = tmp_path / "gamma.txt"
    gamma.write_text("".join(f"{x} {y} {v!r}\n" for x, y, v in rows))
    ped = kinvar.read_pedigree(pedigree, metafounders=rows)
    _, inbreeding = run_cli(cli, ["inbreeding", str(pedigree), "--metafounders", str(gamma)], "inbreeding",
                            tmp_path)
    f = ped.inbreeding().set_index("id")["f"]
    assert [float(row[5]) for row in inbreeding] == [f[row[0]] for row in inbreeding]
    arguments = ["inverse", str(pedigree), "--metafounders", str(gamma), "--triplets"]
    assert len(ped.group_ids) == len(METAFOUNDERS)
    expected = cli_matrix(cli, arguments, "ainverse", tmp_path, ped.ids, ped.group_ids)
    np.testing.assert_array_equal(ped.ainverse(precision="single").toarray(), expected)


def test_a_founder_of_one_metafounder_has_half_its_gamma():
    frame = pd.DataFrame({"animal": ["A", "B", "C"], "sire": ["MF1", "MF1", "A"],
                          "dam": ["MF1", "mf2", "B"]})
    ped = kinvar.Pedigree.from_frame(frame, metafounders=[("MF1", "MF1", 0.4), ("MF2", "MF1", 0.1),
                                                          ("MF2", "MF2", 0.6)])
    # 0.4 / 2, 0.1 / 2, and half of a(A, B) = (0.4 + 0.1 + 0.4 + 0.1) / 4.
    assert ped.inbreeding()["f"].tolist() == [0.2, 0.05, 0.125]
    assert ped.relationship("A", "B") == pytest.approx(0.25, abs=1e-7)


NO_MODEL = "This command does not take metafounders into account. Open the pedigree again to use it without them."
GAMMA = [("G1", "G1", 0.5), ("G2", "G2", 0.5)]
# Named rows: what is loaded and asked, and the library's reason.
METAFOUNDER_REFUSALS = {
    "with groups": (dict(genetic_groups=["G1"], metafounders=GAMMA), None,
                    "Metafounders cannot be used with genetic groups or group fractions."),
    "a pair twice": (dict(metafounders=GAMMA + [("g1", "G1", 0.5)]), None,
                     "Row 3 of the metafounders: the pair G1 G1 is given twice."),
    "no diagonal": (dict(metafounders=[("G1", "G1", 0.5), ("G1", "G2", 0.1)]), None,
                    "The metafounders file gives no value of G2 with itself."),
    "dominance": (dict(metafounders=GAMMA), lambda ped: ped.dominance(), NO_MODEL),
    "x-linked": (dict(metafounders=GAMMA), lambda ped: ped.x_linked(inverse=True), NO_MODEL),
    "a singular gamma's inverse": (dict(metafounders=[("G1", "G1", 0.0), ("G2", "G2", 0.0)]),
                                   lambda ped: ped.ainverse(precision="single"),
                                   "The metafounders' relationships are singular: the inverse of A with "
                                   "metafounders needs them positive definite."),
}


@pytest.mark.parametrize("case", METAFOUNDER_REFUSALS)
def test_metafounders_and_commands_without_them_are_refused(case):
    options, call, message = METAFOUNDER_REFUSALS[case]
    frame = pd.DataFrame({"animal": ["A", "B", "C"], "sire": ["0", "G1", "A"], "dam": ["0", "G2", "B"]})
    with pytest.raises(kinvar.Refused) as refused:
        ped = kinvar.Pedigree.from_frame(frame, **options)
        call(ped)
    assert str(refused.value) == message


def formula_d(a, parents):
    """d_ij = (a(s_i, s_j) a(d_i, d_j) + a(s_i, d_j) a(d_i, s_j)) / 4 off the
    diagonal, 1 on it; positions -1 for unknown."""
    n = len(parents)
    at = lambda x, y: a[x, y] if x >= 0 and y >= 0 else 0.0  # noqa: E731
    d = np.eye(n)
    for i, (si, di) in enumerate(parents):
        for j, (sj, dj) in enumerate(parents):
            if i != j:
                d[i, j] = 0.25 * (at(si, sj) * at(di, dj) + at(si, dj) * at(di, sj))
    return d


def test_dominance_of_full_sibs_and_double_first_cousins():
    frame = pd.DataFrame({
        "animal": ["G1", "G2", "G3", "G4", "s1", "S2", "D1", "D2", "C1", "C2"],
        "sire": [None, None, None, None, "G1", "G1", "G3", "G3", "s1", "S2"],
        "dam": [None, None, None, None, "G2", "G2", "G4", "G4", "D1", "D2"]})
    ped = kinvar.Pedigree.from_frame(frame)
    d = ped.dominance()
    ids = d.ids
    assert isinstance(d, scipy.sparse.csr_matrix)
    assert ids == list(frame["animal"])
    at = {x: i for i, x in enumerate(ids)}
    assert d[at["s1"], at["S2"]] == 0.25
    assert d[at["D1"], at["D2"]] == 0.25
    assert d[at["C1"], at["C2"]] == 0.0625
    assert d[at["s1"], at["C1"]] == 0.0
    assert d.nnz == 10 + 2 * 3
    dinv = ped.dominance(inverse=True)
    np.testing.assert_allclose((d @ dinv).toarray(), np.eye(10), atol=1e-6)
    assert ped.dominance(min_value=0.1).nnz == 10 + 2 * 2


@pytest.mark.parametrize("seed, n", [(41, 20), (42, 50), (43, 80)])
def test_dominance_is_the_formula_on_the_tabular_a(seed, n):
    frame, _, parents, _ = grouped_pedigree(seed, n, False)
    # The groups' cells as plain unknown parents.
    for column in ("sire", "dam"):
        frame.loc[~frame[column].str.startswith("I"), column] = "0"
    frame["group"] = [1 + i % 2 for i in range(n)]
    ped = kinvar.Pedigree.from_frame(frame, group="group")
    expected = formula_d(tabular_a(parents), parents)
    d = ped.dominance(precision="double")
    ids = d.ids
    assert ids == list(frame["animal"])
    np.testing.assert_allclose(d.toarray(), expected, atol=1e-12)
    members = [i for i in range(n) if i % 2 == 1]
    within = ped.dominance(group=2)
    ids = within.ids
    assert ids == [f"I{i}" for i in members]
    np.testing.assert_allclose(within.toarray(), expected[np.ix_(members, members)], atol=1e-6)
    inverse = ped.dominance(group=2, inverse=True)
    np.testing.assert_allclose((within @ inverse).toarray(), np.eye(len(members)), atol=1e-3)


def test_dominance_equals_cli_triplets(cli, tmp_path):
    frame, _, _, _ = grouped_pedigree(44, 70, False)
    for column in ("sire", "dam"):
        frame.loc[~frame[column].str.startswith("I"), column] = "0"
    pedigree = tmp_path / "dominance.pdg"
    frame.to_csv(pedigree, sep=" ", index=False)
    arguments = ["dominance", str(pedigree), "--triplets"]
    d = kinvar.read_pedigree(pedigree).dominance()
    expected = cli_matrix(cli, arguments, "dominance", tmp_path, d.ids)
    np.testing.assert_array_equal(d.toarray(), expected)


@pytest.mark.parametrize("group, min_value, message", [
    (7, 0.0, 'Group "7" is not in the pedigree.'),
    (None, -1.0, "The smallest value must be a number of 0 or more."),
])
def test_dominance_refusals_carry_the_reason(group, min_value, message):
    frame = pd.DataFrame({"animal": ["A", "B", "C"], "sire": [None, None, "A"], "dam": [None, None, "B"],
                          "group": [1, 1, 2]})
    ped = kinvar.Pedigree.from_frame(frame, group="group")
    with pytest.raises(kinvar.Refused) as refused:
        ped.dominance(group=group, min_value=min_value)
    assert str(refused.value) == message
