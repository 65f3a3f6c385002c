"""The Pedigree class: a validated pedigree and every Kinvar command on it."""

from __future__ import annotations

import os
from typing import Iterable, Mapping

import numpy as np
import pandas as pd
import scipy.sparse

from . import _kinvar
from ._errors import BadFrame, ColumnTypeError, MissingColumn, NotAFrame

MAX_MATRIX_CELLS: int = _kinvar.MAX_MATRIX_CELLS

# from_frame's arguments and the column names the pedigree reader knows.
_READER_NAMES = {"id": "Progeny", "sire": "Sire", "dam": "Dam", "group": "Group", "f": "F",
                 "sex": "Sex", "birth_date": "Birth date"}
_PAIR_SCOPES = {"all": 0, "within": 1, "between": 2, "ids": 3}


def _masked(values: np.ndarray, mask: np.ndarray | None, kind: str):
    """A column with missing cells as pandas' nullable Int64 or boolean."""
    if mask is None:
        return values
    if kind == "boolean":
        return pd.arrays.BooleanArray(values, mask)
    return pd.arrays.IntegerArray(values, mask)


def _frame(columns: list) -> pd.DataFrame:
    """One table of the extension as a frame, its columns in order."""
    data = {}
    for name, kind, values, mask in columns:
        data[name] = _masked(values, mask, kind)
    return pd.DataFrame(data) if data else pd.DataFrame()


def _frames(tables: list) -> dict[str, pd.DataFrame]:
    """Every table of a result, by name, in the report's order."""
    return {name: _frame(columns) for name, columns in tables}


def _flag(value) -> str:
    """A flag's text, as a form's check box gives it."""
    return "1" if value else "0"


def _keyword_text(name: str, value) -> str:
    """A keyword argument as the text the command's form would hold."""
    if isinstance(value, (bool, np.bool_)):
        return _flag(value)
    if isinstance(value, (int, np.integer)):
        return str(int(value))
    if isinstance(value, (float, np.floating)):
        return repr(float(value))
    if isinstance(value, (str, os.PathLike)):
        return os.fspath(value)
    raise TypeError(f"{name} must be a flag, a number, a text or a path, not {type(value).__name__}")


def command_keywords(command: str) -> dict[str, str]:
    """The keywords :meth:`Pedigree.run` takes for ``command`` (its
    kinvar-cli name), with their defaults as texts, in the order of the
    command's declaration; empty for a command that declares none."""
    return dict(_kinvar.declared_keywords(command))


def _summary(frame: pd.DataFrame) -> dict[str, float]:
    """A summary table as {figure label: value}."""
    return dict(zip(frame["figure"], frame["value"]))


def _table(tables: list, name: str) -> pd.DataFrame:
    """The command's table `name`, its summary figures in attrs["summary"]."""
    frames = _frames(tables)
    summary = frames.pop("summary", None)
    frame = frames[name] if name in frames else next(iter(frames.values()), pd.DataFrame())
    if summary is not None:
        frame.attrs["summary"] = _summary(summary)
    return frame


def _cells_of(values: pd.Series) -> tuple:
    """A column as the tagged tuple the extension turns into text cells."""
    dtype = values.dtype
    if isinstance(dtype, pd.CategoricalDtype):
        categories = _cells_of(pd.Series(values.cat.categories))
        return ("categorical", values.cat.codes.to_numpy(dtype=np.int64), categories)
    if pd.api.types.is_datetime64_any_dtype(dtype):
        values = values.dt.strftime("%Y-%m-%d")
        dtype = values.dtype
    if pd.api.types.is_bool_dtype(dtype):
        values = values.astype(object)
    elif pd.api.types.is_integer_dtype(dtype):
        mask = values.isna().to_numpy() if values.hasnans else None
        return ("int", values.to_numpy(dtype=np.int64, na_value=0), mask)
    elif pd.api.types.is_float_dtype(dtype):
        return ("float", values.to_numpy(dtype=np.float64, na_value=np.nan))
    # The frame's own array where it has one: no list of a million
    # references to build, and results can hand its str back.
    objects = np.ascontiguousarray(values.to_numpy(dtype=object))
    return ("object", objects, None)


_ROLE_WORDS = {"id": "the individual's ID", "sire": "the sire", "dam": "the dam"}
# Floats hold every whole number up to 2**53 exactly, and not every one above.
_EXACT_FLOAT_LIMIT = 2.0 ** 53


def _checked_frame(frame) -> pd.DataFrame:
    """The frame, its named index as a column; refused with words a user can
    act on when it is no frame or has no rows."""
    if not isinstance(frame, pd.DataFrame):
        what = "None" if frame is None else f"a {type(frame).__name__}"
        raise NotAFrame(f"from_frame needs a pandas DataFrame, not {what}; make one with "
                        f"pandas.DataFrame(...) or pandas.read_csv(...).")
    if len(frame) == 0:
        raise BadFrame("The data frame has no rows.")
    index_names = [n for n in frame.index.names if n is not None]
    if index_names and not any(n in frame.columns for n in index_names):
        frame = frame.reset_index()
    return frame


def _chosen_columns(frame: pd.DataFrame, arguments: dict) -> dict:
    """Role -> column label: the arguments given, the others found by the
    reader's names (or the first three columns by position)."""
    for argument, column in arguments.items():
        if column is not None and column not in frame.columns:
            raise MissingColumn(f"{argument}={column!r}: the frame has no such column; its columns "
                                f"are {', '.join(map(repr, map(str, frame.columns)))}.")
    labels = list(frame.columns)
    found = _kinvar.find_columns([str(label) for label in labels])
    chosen = {}
    for argument, at in zip(_READER_NAMES, found):
        if arguments[argument] is not None:
            chosen[argument] = arguments[argument]
        elif at >= 0 and labels[at] not in arguments.values():
            chosen[argument] = labels[at]
    for argument in ("id", "sire", "dam"):
        if argument not in chosen:
            raise MissingColumn(f"No column of the data frame stands for "
                                f"{_ROLE_WORDS[argument]}: name it {_ROLE_NAMES[argument]}, "
                                f"or give {argument}=.")
    return {argument: chosen[argument] for argument in _READER_NAMES if argument in chosen}


_ROLE_NAMES = {"id": '"id" or "animal"', "sire": '"sire" or "father"', "dam": '"dam" or "mother"'}


def _check_type(values: pd.Series, argument: str, column) -> None:
    """Refuses a column whose type cannot hold what its role needs."""
    dtype = values.dtype
    if pd.api.types.is_bool_dtype(dtype):
        hint = {"sex": ' Write the sexes as "M" and "F" (or 1 and 2).'}.get(argument, "")
        raise ColumnTypeError(f'Column "{column}" holds True and False, which cannot be '
                              f"{_WHAT[argument]}.{hint}")
    if pd.api.types.is_datetime64_any_dtype(dtype) and argument != "birth_date":
        raise ColumnTypeError(f'Column "{column}" holds dates, which cannot be {_WHAT[argument]}.')
    if (pd.api.types.is_complex_dtype(dtype) or pd.api.types.is_timedelta64_dtype(dtype)
            or isinstance(dtype, pd.PeriodDtype) or isinstance(dtype, pd.IntervalDtype)):
        raise ColumnTypeError(f'Column "{column}" holds values of type {dtype}, which cannot be '
                              f"{_WHAT[argument]}.")


_WHAT = {"id": "IDs", "sire": "IDs", "dam": "IDs", "group": "groups",
         "f": "inbreeding coefficients", "sex": "sexes", "birth_date": "birth dates"}


def _check_float_ids(values: pd.Series, column) -> None:
    """Refuses float IDs that are not whole numbers a float holds exactly:
    21-digit ear tags read as floats would collide."""
    if not pd.api.types.is_float_dtype(values.dtype):
        return
    x = values.to_numpy(dtype=np.float64, na_value=np.nan)
    with np.errstate(invalid="ignore"):
        inexact = ~np.isfinite(x) | (np.floor(x) != x) | (np.abs(x) > _EXACT_FLOAT_LIMIT)
    bad = ~np.isnan(x) & inexact
    if bad.any():
        row = int(np.argmax(bad))
        raise BadFrame(f'Row {row + 1}, column "{column}": the ID {float(x[row])!r} is not a whole '
                       f"number below 2^53, which a float holds exactly, so animals could be taken "
                       f"for one another. Read the column as text (dtype=str).")


def _numbered_groups(values: pd.Series) -> tuple[pd.Series, dict]:
    """Groups that are names numbered 1, 2 ... in order of first appearance,
    with the numbers' names; whole numbers (also as text) stay as they are."""
    if not (isinstance(values.dtype, pd.CategoricalDtype) or values.dtype == object
            or pd.api.types.is_string_dtype(values.dtype)):
        return values, {}
    # The distinct cells are few: look at them, not at every row.
    codes, distinct = pd.factorize(values.to_numpy(dtype=object))
    labels = [str(d).strip() for d in distinct]
    if all(label.isdigit() for label in labels if label not in ("", ".")):
        return values, {}
    numbers, lookup = {}, np.zeros(len(labels) + 1, dtype=np.int64)
    for k, label in enumerate(labels):
        if label not in ("", "."):
            lookup[k] = numbers.setdefault(label, len(numbers) + 1)
    numbered = lookup[codes]  # code -1 (missing) reads the last entry, 0
    return (pd.Series(pd.array(numbered, dtype="Int64")).mask(numbered == 0),
            {n: label for label, n in numbers.items()})


def _id_list(ids: Iterable) -> list[str]:
    """IDs given as any values (integers too) as the text Kinvar reads."""
    return [str(i) for i in ids]


class IdMatrix(scipy.sparse.csr_matrix):
    """A symmetric sparse matrix whose rows and columns ``ids`` name, in
    order: what ainverse and dominance return. It is a SciPy CSR matrix in
    every other way; ``to_frame()`` gives it as a labelled dense frame."""

    def __init__(self, arg1, shape=None, dtype=None, copy=False, *, ids: list[str] | None = None):
        # SciPy builds the results of operations through this constructor,
        # without ids: those results are unlabelled.
        if ids is not None:
            shape = (len(ids), len(ids))
        super().__init__(arg1, shape=shape, dtype=dtype, copy=copy)
        self.ids = None if ids is None else list(ids)

    def to_frame(self) -> pd.DataFrame:
        """The dense matrix with the IDs as index and columns."""
        return pd.DataFrame(self.toarray(), index=self.ids, columns=self.ids)


class Pedigree:
    """A validated pedigree: the rows of a file or data frame, then the
    parents without a row of their own as the reader adds them (the dams,
    then the sires, each in ID order): the input order every per-individual
    result follows.

    IDs come back as the caller spelled them; Kinvar compares them without
    regard to letter case. Every computing method takes ``threads`` (0: one
    per core; results are the same with any number) and ``progress`` (a
    progress line on standard error), runs without holding the GIL, and
    stops with KeyboardInterrupt on Ctrl+C, leaving the pedigree usable.
    One thread at a time may use a pedigree.

    The methods that compute F, D, relationships, the inverse of A, dii
    and the decompositions take ``precision``: "single" (the default: each
    value rounded to a 32-bit float as it is stored, as kinvar-cli does) or
    "double" (64-bit floats throughout, kinvar-cli's ``--precision
    double``). It holds for that call only; the pedigree keeps no setting.
    """

    __slots__ = ("_session",)

    def __init__(self, session: _kinvar.Session):
        """Internal: use read_pedigree or Pedigree.from_frame."""
        self._session = session

    @classmethod
    def from_frame(cls, frame: pd.DataFrame, id: str | None = None, sire: str | None = None,
                   dam: str | None = None, group: str | None = None, f: str | None = None,
                   sex: str | None = None, birth_date: str | None = None,
                   threads: int = 0, genetic_groups: Iterable | None = None,
                   group_fractions=None, metafounders=None) -> Pedigree:
        """A pedigree from the columns of a data frame.

        Without column arguments the columns are found by their names as
        in a pedigree file, in any letter case: the individual (id,
        animal, individual, progeny, name), its sire (sire, father) and
        dam (dam, mother), and the optional group (group, year, birth
        year, cohort, herd), f (f, inbreeding), sex (sex, gender) and
        birth date (birth date, birth_date, dob ...). When no name stands
        for the individual or a parent, the first three columns are taken
        as individual, sire and dam. A named index (``df.set_index("animal")``)
        counts as a column. An argument names a column of its own choice.

        IDs are strings, integers or categoricals (floats only when they
        are whole numbers that a float holds exactly); None, NaN, "" or
        "0" is an unknown parent. IDs that differ only in letter case are
        one individual, as in a file; results spell it as it first appears
        (row by row; in a row the individual, then its sire, then its dam).
        Groups are whole numbers, or names (herds) that are numbered 1, 2
        ... in order of first appearance (``group_names`` maps them back).
        ``f`` holds predefined inbreeding coefficients (NaN when unknown),
        ``sex`` "M"/"F" or 1/2, ``birth_date`` dates or "YYYY-MM-DD" text.
        The cells follow the rules of a pedigree file, so the frame gives
        the same pedigree as the same table saved as a file.

        ``genetic_groups`` lists parent IDs that stand for genetic groups
        and ``group_fractions`` spreads unknown parents over them;
        ``metafounders`` gives related base populations (see
        read_pedigree).

        Raises NotAFrame for anything but a DataFrame, BadFrame (and its
        MissingColumn and ColumnTypeError) for a frame that cannot be
        read, naming the row (1 for the first row, whatever the index)
        and the column; Refused for a cell the reader refuses, and
        InvalidPedigree (its ``errors`` list the problems) when
        validation rejects the pedigree.
        """
        frame = _checked_frame(frame)
        groups, fractions, gamma = _load_options(genetic_groups, group_fractions, metafounders)
        chosen = _chosen_columns(frame, {"id": id, "sire": sire, "dam": dam, "group": group, "f": f,
                                         "sex": sex, "birth_date": birth_date})
        names, shown, columns, group_names = [], [], [], {}
        for argument, column in chosen.items():
            values = frame[column]
            if isinstance(values, pd.DataFrame):
                raise BadFrame(f"The frame has more than one column named {column!r}.")
            _check_type(values, argument, column)
            if argument in ("id", "sire", "dam"):
                _check_float_ids(values, column)
            if argument == "group":
                values, group_names = _numbered_groups(values)
            names.append(_READER_NAMES[argument])
            shown.append(str(column))
            columns.append(_cells_of(values))
        session = _kinvar.from_columns(names, columns, threads, groups, fractions, gamma, shown)
        if group_names:
            session.name_groups([group_names[k] for k in range(1, len(group_names) + 1)])
        return cls(session)

    def __len__(self) -> int:
        """The number of individuals: rows plus added parents."""
        return self._session.size()

    @property
    def rows(self) -> int:
        """The number of rows of the file or frame."""
        return self._session.rows()

    @property
    def ids(self) -> np.ndarray:
        """Every ID in input order (an object array of str)."""
        return np.array(self._session.ids(), dtype=object)

    @property
    def groups(self) -> list[int]:
        """The group numbers of the pedigree, ascending (empty without groups)."""
        return self._session.groups()

    @property
    def group_names(self) -> dict[int, str]:
        """The group numbers that stand for names of a frame's group column
        (herds), number -> name, numbered in order of first appearance;
        empty when the groups were numbers. Results show the names in
        their group columns."""
        return {k + 1: name for k, name in enumerate(self._session.group_names())}

    @property
    def group_ids(self) -> list[str]:
        """The genetic groups (or metafounders) the pedigree was read with,
        in the order of the rows that ainverse adds after the individuals."""
        return self._session.group_ids()

    @property
    def notes(self) -> list[str]:
        """The warnings and information of the last command (a sire that is
        also a dam, an ancestor search that stopped early ...), in order."""
        return self._session.notes()

    def census(self) -> dict[str, int]:
        """Individuals, rows, added parents, founders and groups."""
        return dict(self._session.census())

    def __repr__(self) -> str:
        c = self._session.census()
        added = c["added_parents"]
        parents = "added parent" if added == 1 else "added parents"
        return (f"<kinvar.Pedigree: {c['individuals']:,} individuals ({c['rows']:,} rows, "
                f"{added:,} {parents}), {c['founders']:,} founders, {c['groups']:,} groups>")

    # -- inbreeding and relationships -------------------------------------

    def run(self, command: str, *, threads: int = 0, progress: bool = False,
            **keywords) -> dict[str, pd.DataFrame]:
        """Any command that declares its parameters, by its kinvar-cli name
        (``"structure"``, ``"mean-kinship"``, ``"purging"``, ...), with the
        keyword arguments its declaration names (:func:`command_keywords`):
        a keyword left out, or given as None, takes its default; a flag is a
        bool, a file a path. Every table of the report by name, in the
        report's order, rows as the report lists them (the methods above
        may reorder them into input order)."""
        texts = {k: _keyword_text(k, v) for k, v in keywords.items() if v is not None}
        return _frames(self._session.run_declared(command, texts, threads, progress))

    def inbreeding(self, threads: int = 0, progress: bool = False,
                   precision: str = "single") -> pd.DataFrame:
        """F of every individual in input order: the ``inbreeding`` table
        (id, sire, dam, group, code, f, f_predefined, ecg, longest_path);
        the report's figures are in ``attrs["summary"]``."""
        return _table(self._session.inbreeding(threads, progress, precision), "inbreeding")

    def relationship(self, id1, id2, type: str = "numerator", threads: int = 0,
                     precision: str = "single") -> float:
        """The relationship of two individuals: "numerator" (A, the
        default) or "coefficient" (the coefficient of relationship)."""
        return self._session.relationship(str(id1), str(id2), type, threads, precision)

    def relationships(self, ids: Iterable | None = None, group: int | None = None,
                      group2: int | None = None, type: str = "numerator",
                      range: tuple[float, float] | None = None, precision: str = "single",
                      threads: int = 0, progress: bool = False, *, within: int | None = None,
                      between: tuple[int, int] | None = None) -> pd.DataFrame:
        """The ``pairs`` table (id1, id2, value): every pair of the
        pedigree, of the given ``ids``, within ``group`` or between
        ``group`` and ``group2``, keeping values in ``range`` = (low, high)
        when given. ``within=`` and ``between=(g1, g2)`` are the older
        spellings of the same scopes. A listing of all, within or between
        stops at 2,000,000 pairs: when more lie in the range it raises
        Refused with their number rather than return the first of them."""
        if group2 is not None and group is None:
            raise ValueError("group2 needs group")
        if group is not None:
            if within is not None or between is not None:
                raise ValueError("give group (and group2) or within/between, not both")
            if group2 is None:
                within = group
            else:
                between = (group, group2)
        scope, g1, g2, listed = "all", 0, 0, []
        if sum(x is not None for x in (ids, within, between)) > 1:
            raise ValueError("give at most one of ids, within and between")
        if ids is not None:
            scope, listed = "ids", _id_list(ids)
        elif within is not None:
            scope, g1 = "within", int(within)
        elif between is not None:
            scope, (g1, g2) = "between", (int(between[0]), int(between[1]))
        bounds = None if range is None else (float(range[0]), float(range[1]))
        tables = self._session.relationships(_PAIR_SCOPES[scope], g1, g2, listed, type, bounds,
                                             threads, progress, precision)
        return _table(tables, "pairs")

    def relationship_matrix(self, ids: Iterable, type: str = "numerator", threads: int = 0,
                            progress: bool = False, precision: str = "single") -> np.ndarray:
        """The k x k matrix of the relationships among ``ids`` (rows and
        columns in the order given); refused (Refused) above
        MAX_MATRIX_CELLS cells."""
        listed = _id_list(ids)
        return self._session.relationship_matrix(listed, type, threads, progress, precision)

    def ainverse(self, precision: str = "double", threads: int = 0,
                 progress: bool = False) -> IdMatrix:
        """The inverse of the numerator relationship matrix A, symmetric,
        labelled: its ``ids`` name the rows and columns (the pedigree's
        ``ids``, then ``group_ids``), the same form as dominance. In double precision by default, as a
        mixed-model solver takes the values as they are; "single" rounds
        each stored value to a 32-bit float, as kinvar-cli does by
        default. Predefined F are part of A. With
        genetic groups, A*^-1: the groups' rows and columns follow the
        individuals in ``group_ids`` order. With metafounders, the inverse
        of A^Gamma, the metafounders likewise after the individuals;
        Refused when Gamma is singular."""
        n, (data, indices, indptr) = self._session.ainverse(threads, progress, precision)
        return IdMatrix((data, indices, indptr),
                        ids=[str(i) for i in self._session.ids()] + list(self.group_ids))

    def hinverse(self, genotypes: str, genotype_format: str | None = None,
                 min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                 min_maf: float = 0.01, method: str = "vanraden1", alpha: float = 0.95,
                 beta: float = 0.05, tau: float = 1.0, omega: float = 1.0, scale: bool = True,
                 precision: str = "double", threads: int = 0, progress: bool = False) -> IdMatrix:
        """The single-step H inverse, A^-1 + [[0, 0], [0, tau G_w^-1 - omega A22^-1]]
        with G_w = alpha G + beta A22, labelled as ainverse is (``ids``, then
        ``group_ids`` with genetic groups). ``genotypes`` names a PLINK .bed,
        a VCF or BCF, or a text genotype file (``genotype_format`` "plink",
        "vcf" or "text"; None: by the extension), read with the quality
        control thresholds given. G is VanRaden's first (``method``
        "vanraden2" and "yang" the others), scaled to A22 (the same mean
        diagonal and mean off-diagonal) unless ``scale`` is False. Refused
        with metafounders, and when G_w or A22 is not positive definite."""
        keywords = self._genotype_keywords(genotypes, genotype_format, min_snp_call_rate,
                                           min_animal_call_rate, min_maf)
        keywords.update({"method": str(method), "alpha": repr(float(alpha)), "beta": repr(float(beta)),
                         "tau": repr(float(tau)), "omega": repr(float(omega)), "scale": _flag(scale)})
        n, (data, indices, indptr) = self._session.hinverse(keywords, threads, progress, precision)
        return IdMatrix((data, indices, indptr),
                        ids=[str(i) for i in self._session.ids()] + list(self.group_ids))

    def parentage(self, genotypes: str, genotype_format: str | None = None,
                  min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                  min_maf: float = 0.01, exclusion_threshold: float = 0.01, search: bool = True,
                  threads: int = 0, progress: bool = False) -> pd.DataFrame:
        """The recorded parents of the genotyped animals checked by opposing
        homozygotes: the ``parentage`` table (id, code, parent, recorded,
        opposing, typed, rate, verdict, candidates, best, best_opposing,
        best_typed, best_rate, runner_up, runner_up_rate), one row per parent
        checked or searched; a rate above ``exclusion_threshold`` excludes
        the recorded parent. For excluded and unknown parents (unless
        ``search`` is False) the likeliest genotyped parent and the
        runner-up's rate. The figures are in ``attrs["summary"]``."""
        keywords = self._genotype_keywords(genotypes, genotype_format, min_snp_call_rate,
                                           min_animal_call_rate, min_maf)
        keywords.update({"exclusion_threshold": repr(float(exclusion_threshold)), "search": _flag(search)})
        return _table(self._session.run_declared("parentage", keywords, threads, progress), "parentage")

    def x_linked(self, inverse: bool = False, threads: int = 0,
                 progress: bool = False) -> scipy.sparse.csr_matrix:
        """The X-linked relationship matrix S (Fernando & Grossman 1990), or
        its inverse, symmetric, in ``ids`` order. Every individual needs a
        sex (the sex column, or its role as a parent): Refused otherwise;
        S itself is refused above 5000 individuals, its inverse is not."""
        n, (data, indices, indptr) = self._session.x_linked(bool(inverse), threads, progress)
        return scipy.sparse.csr_matrix((data, indices, indptr), shape=(n, n), copy=False)

    def dominance(self, group: int | None = None, inverse: bool = False,
                  min_value: float = 0.0, threads: int = 0, progress: bool = False,
                  precision: str = "single") -> IdMatrix:
        """The dominance relationship matrix D (Hoeschele & VanRaden 1991),
        or its inverse, among the members of ``group`` (every individual
        when None), symmetric, and the IDs of its rows and columns in input
        order. d_ij = (a(s_i, s_j) a(d_i, d_j) + a(s_i, d_j) a(d_i, s_j)) / 4
        off the diagonal, 1 on it, from the relationships every other result
        uses; with inbreeding an approximation. Elements with an absolute
        value below ``min_value`` are left out. Refused above 10000
        individuals (5000 for the inverse), for an inverse of a D that is
        not positive definite, and with metafounders."""
        chosen = None if group is None else int(group)
        n, (data, indices, indptr), ids = self._session.dominance(
            chosen, bool(inverse), float(min_value), threads, progress, precision)
        return IdMatrix((data, indices, indptr), ids=list(ids))

    def average_relatedness(self, threads: int = 0, progress: bool = False,
                            precision: str = "single") -> pd.DataFrame:
        """Each individual's average relationship with all (id, value)."""
        tables = self._session.average_relatedness(threads, progress, precision)
        return _table(tables, "average_relatedness")

    def average_between_groups(self, threads: int = 0, progress: bool = False,
                               precision: str = "single") -> pd.DataFrame:
        """The average relationship within and between groups
        (group1, group2, value)."""
        tables = self._session.average_between_groups(threads, progress, precision)
        return _table(tables, "group_averages")

    def dii(self, threads: int = 0, progress: bool = False,
            precision: str = "single") -> pd.DataFrame:
        """The diagonal D of A = TDT' (id, code, dii)."""
        return _table(self._session.dii(threads, progress, precision), "dii")

    # -- analyses ----------------------------------------------------------

    def structure(self, list_founders: bool = False, threads: int = 0,
                  progress: bool = False) -> dict[str, pd.DataFrame]:
        """The structure census: a dict of frames (summary, f_distribution,
        longest_path, groups, generation_intervals, and
        founders_without_progeny with ``list_founders``)."""
        return _frames(self._session.structure(list_founders, threads, progress))

    def path_counting(self, id=None, *, group: int | None = None, threads: int = 0,
                      progress: bool = False) -> dict[str, pd.DataFrame]:
        """Path counting of one individual, of a group's members, or of
        every inbred individual when neither is given: a dict with the
        frames inbreds, paths and ncas."""
        if id is not None and group is not None:
            raise ValueError("give id or group, not both")
        if id is not None:
            tables = self._session.path_counting_individual(str(id), threads, progress)
        elif group is not None:
            tables = self._session.path_counting_group(int(group), threads, progress)
        else:
            tables = self._session.path_counting_all(threads, progress)
        return _frames(tables)

    def extract(self, id=None, *, group: int | None = None, kinship: str = "ancestors",
                threads: int = 0) -> Pedigree:
        """The ``kinship`` ("ancestors" or "descendants") of an individual
        or of a group's members, as a pedigree of its own."""
        if (id is None) == (group is None):
            raise ValueError("give exactly one of id and group")
        if id is not None:
            return Pedigree(self._session.extract_individual(kinship, str(id), threads))
        return Pedigree(self._session.extract_group(kinship, int(group), threads))

    def gene_origin(self, group: int, threads: int = 0, progress: bool = False) -> pd.DataFrame:
        """Probabilities of gene origin of a group: the
        ``founder_contributions`` table (id, contribution, v1, v2); fe, fg
        and the other figures in ``attrs["summary"]``."""
        return _table(self._session.gene_origin(int(group), threads, progress),
                      "founder_contributions")

    def decompose_inbreeding(self, id=None, group: int | None = None, coancestry: bool = False,
                             precision: str = "single", threads: int = 0,
                             progress: bool = False) -> pd.DataFrame:
        """The ancestral decomposition of an individual, of a group, or of
        a group's coancestry (``coancestry=True`` with ``group``): the
        ``decomposition`` table (id, m, u, v) with ``attrs["summary"]``."""
        if (id is None) == (group is None):
            raise ValueError("give exactly one of id and group")
        if coancestry and group is None:
            raise ValueError("coancestry=True decomposes a group's coancestry: give group")
        if id is not None:
            tables = self._session.decompose_individual(str(id), threads, progress, precision)
        elif coancestry:
            tables = self._session.decompose_coancestry(int(group), threads, progress,
                                                        precision)
        else:
            tables = self._session.decompose_group(int(group), threads, progress, precision)
        return _table(tables, "decomposition")

    # The name scripts written before decompose_inbreeding use.
    decompose = decompose_inbreeding

    def diversity(self, group: int | None = None, threads: int = 0,
                  progress: bool = False) -> dict[str, pd.DataFrame]:
        """The genetic diversity summary of a group, or of every individual
        when ``group`` is None: a dict of frames (summary, ancestors,
        groups, generation_intervals as the pedigree has them)."""
        g = None if group is None else int(group)
        return _frames(self._session.diversity(g, threads, progress))

    def optimize_matings(self, sires, dams, contributions: Mapping | Iterable | pd.DataFrame,
                         forbidden: Iterable | pd.DataFrame | None = None, exact: bool = True,
                         seed: int = 0, threads: int = 0,
                         progress: bool = False) -> pd.DataFrame:
        """Mates every dam with a sire for the lowest average coancestry:
        the ``matings`` table (sire, dam, coancestry) and
        ``attrs["summary"]``. ``sires`` and ``dams`` are IDs, a boolean
        mask over the rows (or the individuals), or one group number each
        (see mate_suitability).

        ``contributions`` gives sires their numbers of dams (a mapping, a
        Series, pairs, or a two-column frame); a sire left out has none,
        and an ID that is not a sire is refused by name. ``forbidden``
        lists (sire, dam) pairs
        that must not be mated; ``exact`` (the default, as in R) lists the
        proven optimum; ``exact=False`` lists the annealing's matings, whose
        random stream starts at ``seed``.
        """
        shares = [(str(s), int(n)) for s, n in _pairs(contributions)]
        banned = [(str(s), str(d)) for s, d in _pairs(forbidden)] if forbidden is not None else []
        tables = self._session.optimize_matings(self._mates(sires, "sires"),
                                                self._mates(dams, "dams"), shares, banned,
                                                bool(exact), int(seed), threads, progress)
        return _table(tables, "matings")


    # -- purging and population management --------------------------------

    def purging(self, group: int | None = None, purging_coefficient: float = 0.0,
                gene_drops: int = 0, all_founders: bool = False, seed: int = 0,
                threads: int = 0, progress: bool = False) -> dict[str, pd.DataFrame]:
        """Ancestral, partial and purged inbreeding of a group's members, or
        of every individual when ``group`` is None: a dict of frames
        (summary, purging_groups, founders, purging, partial_inbreeding).

        ``purging_coefficient`` is d, 0 to 0.5 (0 gives g = F);
        ``gene_drops`` > 0 estimates the ancestral inbreeding by that many
        gene-dropping replicates, whose random stream starts at ``seed``
        (the same seed gives the same figures); ``all_founders`` partitions
        F among every founder instead of the main ones.
        """
        g = None if group is None else int(group)
        frames = _frames(self._session.purging(g, float(purging_coefficient), int(gene_drops),
                                               bool(all_founders), int(seed), threads, progress))
        # In input order, as every other per-individual table.
        individuals = frames.get("purging")
        if individuals is not None and len(individuals):
            position = {i.upper(): k for k, i in enumerate(self._session.ids())}
            order = np.argsort([position[i.upper()] for i in individuals["id"]], kind="stable")
            frames["purging"] = individuals.iloc[order].reset_index(drop=True)
        return frames

    # -- genotypes beside the pedigree ---------------------------------------

    @staticmethod
    def _genotype_keywords(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate,
                           min_maf) -> dict[str, str]:
        """The genotype input's keywords, as every genomic command declares
        them, with their values as texts."""
        return {"genotypes": os.fspath(genotypes),
                "genotype_format": "" if genotype_format is None else str(genotype_format),
                "min_snp_call_rate": repr(float(min_snp_call_rate)),
                "min_animal_call_rate": repr(float(min_animal_call_rate)),
                "min_maf": repr(float(min_maf))}

    def genotype_qc(self, genotypes, *, genotype_format: str | None = None,
                    min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                    min_maf: float = 0.01, threads: int = 0,
                    progress: bool = False) -> dict[str, pd.DataFrame]:
        """The genotype file matched to the pedigree and its quality
        control, as every genomic command applies it: a dict of frames
        (summary, qc with each step's dropped and left, qc_dropped with
        every animal and SNP dropped, not_in_pedigree, without_genotypes).
        ``genotypes`` names a PLINK .bed, a VCF or BCF, or a text genotype
        file (``genotype_format`` "plink", "vcf" or "text"; None: by the
        extension)."""
        keywords = self._genotype_keywords(genotypes, genotype_format, min_snp_call_rate,
                                           min_animal_call_rate, min_maf)
        return _frames(self._session.run_declared("genotype-qc", keywords, threads, progress))

    def genomic_relationship(self, genotypes, *, genotype_format: str | None = None,
                             min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                             min_maf: float = 0.01, frequencies="genotyped",
                             method: str = "vanraden1", write_g=None, g_format: str = "triplets",
                             pairs: int = 20, threads: int = 0,
                             progress: bool = False) -> dict[str, pd.DataFrame]:
        """G of the genotyped animals (``method`` vanraden1, vanraden2 or
        yang, on the allele ``frequencies`` of the genotyped animals, of the
        base by gene content ("founders") or of a file) set against A22: a
        dict of frames (genomic_relationship, qc, genomic_pedigree,
        genomic_pedigree_pairs). ``write_g`` writes G as ``g_format``
        triplets, dense or gcta."""
        keywords = self._genotype_keywords(genotypes, genotype_format, min_snp_call_rate,
                                           min_animal_call_rate, min_maf)
        keywords.update({"frequencies": os.fspath(frequencies), "method": str(method),
                         "write_g": "" if write_g is None else os.fspath(write_g),
                         "g_format": str(g_format), "pairs": str(int(pairs))})
        return _frames(self._session.run_declared("genomic-relationship", keywords, threads, progress))

    def genomic_inbreeding(self, genotypes, *, genotype_format: str | None = None,
                           min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                           min_maf: float = 0.01, frequencies="genotyped",
                           roh_window_snps: int = 50, roh_max_het: int = 1, roh_max_missing: int = 5,
                           roh_min_share: float = 0.05, roh_min_snps: int = 50,
                           roh_min_length: int = 1000000, threads: int = 0,
                           progress: bool = False) -> dict[str, pd.DataFrame]:
        """F from G's diagonal, from homozygosity and from runs of
        homozygosity beside pedigree F: a dict of frames
        (genomic_inbreeding_summary, qc, genomic_inbreeding,
        genomic_inbreeding_furthest)."""
        keywords = self._genotype_keywords(genotypes, genotype_format, min_snp_call_rate,
                                           min_animal_call_rate, min_maf)
        keywords.update({"frequencies": os.fspath(frequencies),
                         "roh_window_snps": str(int(roh_window_snps)),
                         "roh_max_het": str(int(roh_max_het)),
                         "roh_max_missing": str(int(roh_max_missing)),
                         "roh_min_share": repr(float(roh_min_share)),
                         "roh_min_snps": str(int(roh_min_snps)),
                         "roh_min_length": str(int(roh_min_length))})
        return _frames(self._session.run_declared("genomic-inbreeding", keywords, threads, progress))

    def mean_kinship(self, group: int | None = None, threads: int = 0,
                     progress: bool = False) -> pd.DataFrame:
        """The mean kinship ranking of a group's members, or of every
        individual when ``group`` is None: the ``mean_kinship`` table and
        ``attrs["summary"]``."""
        g = None if group is None else int(group)
        return _sex_na(_table(self._session.mean_kinship(g, threads, progress), "mean_kinship"))

    def mate_suitability(self, sires, dams, reference: int | None = None,
                         max_f: float = 0.0625, threads: int = 0,
                         progress: bool = False) -> pd.DataFrame:
        """Every pair of a sire and a dam scored by the gene diversity one offspring adds to the
        ``reference`` group (None: the sires and dams): the
        ``mate_suitability`` table and ``attrs["summary"]``; pairs whose
        offspring F is above ``max_f`` are marked (``above_max_f``) and come
        after all the others, least offspring F first.

        ``sires`` and ``dams``: IDs (any iterable: a list, an array, a
        Series), or a boolean mask with one value per row of the pedigree
        (or per individual), such as ``frame["sex"] == "M"``; or one group
        number each, as older scripts pass them. A single int is always a
        group number: give one integer ID in a list. Listed sires and dams
        need no group of their own, so groups by birth year serve."""
        ref = None if reference is None else int(reference)
        tables = self._session.mate_suitability(self._mates(sires, "sires"),
                                                self._mates(dams, "dams"), ref,
                                                float(max_f), threads, progress)
        return _table(tables, "mate_suitability")

    def planned_mating(self, sire: str | None, dam: str | None, *,
                       sire_parents: tuple | None = None, dam_parents: tuple | None = None,
                       candidates: int | None = None, reference: int | None = None,
                       top: int = 20, threads: int = 0,
                       progress: bool = False) -> dict[str, pd.DataFrame]:
        """A planned mating of ``sire`` and ``dam`` (None or "0": unknown):
        a dict of frames, summary (the relationship of the parents and the
        offspring's F), common_ancestors (each ancestor of both parents with
        its part of the offspring's F; the parts add up to it) and
        best_sires (the ``top`` sires of least offspring F with the dam
        among group ``candidates`` or all males, with their mean kinship
        with group ``reference`` or every individual).

        A parent not yet born is given by its own parents:
        ``sire_parents=(sire, dam)`` makes ``sire`` the name of a new sire
        (None in the pair: an unknown parent); likewise ``dam_parents``.
        """
        def pair(parents):
            if parents is None:
                return None
            s, d = parents
            return ("0" if s is None else str(s), "0" if d is None else str(d))

        tables = self._session.planned_mating(
            "" if sire is None else str(sire), "" if dam is None else str(dam),
            pair(sire_parents), pair(dam_parents),
            None if candidates is None else int(candidates),
            None if reference is None else int(reference), int(top), threads, progress)
        return _frames(tables)

    def _mates(self, chosen, role: str):
        """Sires or dams as the extension takes them: a group number or a
        list of IDs."""
        if isinstance(chosen, (bool, np.bool_)):
            raise TypeError(f"{role}: give IDs, a boolean mask or a group number")
        if isinstance(chosen, (int, np.integer)):
            return int(chosen)
        if isinstance(chosen, str):
            return [chosen]
        if isinstance(chosen, (pd.Series, pd.Index)):
            values = chosen.to_numpy()
        elif isinstance(chosen, np.ndarray):
            values = chosen
        else:
            values = np.asarray(list(chosen), dtype=object)
            if len(values) and all(isinstance(v, (bool, np.bool_)) for v in values):
                values = values.astype(bool)
        if values.dtype == bool:
            ids = self.ids
            if len(values) not in (self.rows, len(ids)):
                raise ValueError(f"the boolean {role} has {len(values)} values: one a row "
                                 f"({self.rows}) or one an individual ({len(ids)})")
            return [str(i) for i in ids[:len(values)][values]]
        if pd.isna(values).any():
            raise ValueError(f"{role} must not hold missing values")
        return _id_list(values.tolist())

    def optimum_contributions(self, sires, dams,
                              breeding_values: Mapping | Iterable | pd.DataFrame | None = None,
                              target_delta_f: float | None = None,
                              target_kinship: float | None = None,
                              max_contribution: float | None = None, matings: bool = False,
                              threads: int = 0,
                              progress: bool = False) -> dict[str, pd.DataFrame]:
        """The optimum contributions of the candidate ``sires`` and
        ``dams`` (IDs, a boolean mask or group numbers, as for
        mate_suitability): a dict of frames (summary, contributions, and
        with ``matings=True`` sire_matings).

        ``breeding_values`` (a mapping, a Series, (id, value) pairs or a
        two-column frame) ask for the largest gain whose kinship stays at
        ``target_delta_f`` or ``target_kinship`` (at most one of them);
        without them the contributions give the least kinship.
        ``max_contribution`` caps one candidate's share. ``matings=True``
        gives every dam one progeny and lists each sire's number of
        matings in sire_matings (sire, matings): the contributions
        optimize_matings takes.
        """
        if target_delta_f is not None and target_kinship is not None:
            raise ValueError("give at most one of target_delta_f and target_kinship")
        values = [] if breeding_values is None else [
            (str(i), float(v)) for i, v in _pairs(breeding_values)]
        tables = self._session.optimum_contributions(
            self._mates(sires, "sires"), self._mates(dams, "dams"), values, _real(target_delta_f),
            _real(target_kinship), _real(max_contribution), bool(matings), threads, progress)
        frames = _frames(tables)
        _sex_na(frames.get("contributions"))
        return frames


def _sex_na(frame: pd.DataFrame | None) -> pd.DataFrame | None:
    """An unknown sex as None (missing), not the report's "."."""
    if frame is not None and "sex" in frame.columns:
        frame["sex"] = frame["sex"].astype(object).where(frame["sex"] != ".", None)
    return frame


def _real(value) -> float | None:
    return None if value is None else float(value)


def _pairs(values) -> list[tuple]:
    """Pairs from a mapping, a Series, a two-column frame or an iterable of
    pairs."""
    if isinstance(values, pd.Series):
        return list(values.items())
    if isinstance(values, pd.DataFrame):
        return list(values.iloc[:, :2].itertuples(index=False, name=None))
    if isinstance(values, Mapping):
        return list(values.items())
    return [tuple(pair) for pair in values]


_FRACTION_COLUMNS = ["individual", "parent", "group", "fraction"]


def _gamma_rows(metafounders) -> list[tuple]:
    """Gamma's (group, group, value) rows from a frame's first three
    columns or from 3-tuples."""
    if metafounders is None:
        return []
    if isinstance(metafounders, pd.DataFrame):
        if metafounders.shape[1] < 3:
            raise BadFrame("metafounders needs three columns: group, group and value")
        rows = metafounders.iloc[:, :3].itertuples(index=False, name=None)
    else:
        rows = (tuple(row) for row in metafounders)
    gamma = []
    for row in rows:
        if len(row) != 3:
            raise BadFrame("a metafounders' relationship is (group, group, value)")
        group1, group2, value = row
        gamma.append((str(group1), str(group2), float(value)))
    return gamma


def _load_options(genetic_groups, group_fractions,
                  metafounders=None) -> tuple[list[str], list[tuple], list[tuple]]:
    """The group IDs, the fractions' rows and Gamma's rows as the extension
    takes them; the library checks their values."""
    groups = [] if genetic_groups is None else _id_list(genetic_groups)
    gamma = _gamma_rows(metafounders)
    if group_fractions is None:
        return groups, [], gamma
    if isinstance(group_fractions, pd.DataFrame):
        missing = [c for c in _FRACTION_COLUMNS if c not in group_fractions.columns]
        if missing:
            raise MissingColumn(f"group_fractions has no column {missing[0]!r}")
        rows = group_fractions[_FRACTION_COLUMNS].itertuples(index=False, name=None)
    else:
        rows = (tuple(row) for row in group_fractions)
    fractions = []
    for row in rows:
        if len(row) != 4:
            raise BadFrame("a group fraction is (individual, parent, group, fraction)")
        individual, parent, group, fraction = row
        fractions.append((str(individual), str(parent), str(group), float(fraction)))
    return groups, fractions, gamma


def read_pedigree(path: str | os.PathLike, sheet: str = "", threads: int = 0,
                  genetic_groups: Iterable | None = None, group_fractions=None,
                  metafounders=None) -> Pedigree:
    """Reads a pedigree file (text or .xlsx; ``sheet`` names the worksheet,
    the first by default). Raises InvalidPedigree when validation rejects
    it and Refused when the file cannot be read.

    ``genetic_groups``: parent IDs that stand for genetic groups, unknown
    parents as far as F and relationships go; ainverse numbers them after
    the individuals in this order. ``group_fractions``: fuzzy groups, a
    frame with the columns individual, parent ("sire" or "dam"), group and
    fraction (or such 4-tuples), the fractions of one parent summing to 1.
    ``metafounders``: related base populations, Gamma as a frame whose
    first three columns are group, group and value (or such 3-tuples),
    each unordered pair once, every diagonal given; the groups named are
    metafounders standing for unknown parents, numbered in the order they
    first appear. F, relationships and ainverse then follow A^Gamma;
    commands that do not take metafounders into account are Refused. Not
    with genetic_groups or group_fractions. Refused names what is wrong
    with any of them."""
    groups, fractions, gamma = _load_options(genetic_groups, group_fractions, metafounders)
    return Pedigree(_kinvar.read(os.fspath(path), sheet, threads, groups, fractions, gamma))
