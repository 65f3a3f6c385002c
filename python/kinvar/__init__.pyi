"""Kinvar from Python: pedigree analysis over the Kinvar core."""

import os
from typing import Iterable, Mapping

import numpy as np
import pandas as pd
import scipy.sparse

__version__: str
MAX_MATRIX_CELLS: int

class KinvarError(Exception):
    """Base class of the errors Kinvar raises."""

class InvalidPedigree(KinvarError, ValueError):
    """Validation rejected the pedigree; ``errors`` lists its messages."""

    errors: list[str]
    def __init__(self, errors: Iterable[str]) -> None: ...

class Refused(KinvarError, ValueError):
    """Kinvar refused an input; the message says why."""

class NotAFrame(KinvarError, TypeError):
    """from_frame was given something other than a DataFrame."""

class BadFrame(KinvarError, ValueError):
    """The frame cannot stand for a pedigree; the message names the row and column."""

class ColumnTypeError(BadFrame, TypeError):
    """A column holds values of a type its role does not take."""

class MissingColumn(BadFrame, KeyError):
    """A column is not in the frame, or none stands for the individual or a parent."""

# Fuzzy groups: a frame with the columns individual, parent ("sire" or
# "dam"), group and fraction, or such 4-tuples.
GroupFractions = pd.DataFrame | Iterable[tuple[object, str, object, float]]
# Metafounders: a frame whose first three columns are group, group and
# value, or such 3-tuples.
Metafounders = pd.DataFrame | Iterable[tuple[object, object, float]]

def read_pedigree(path: str | os.PathLike[str], sheet: str = "", threads: int = 0,
                  genetic_groups: Iterable[object] | None = None,
                  group_fractions: GroupFractions | None = None,
                  metafounders: Metafounders | None = None) -> Pedigree:
    """Reads a pedigree file (text or .xlsx), optionally with genetic groups or metafounders."""

# Sires or dams: IDs, a boolean mask over the rows (or the individuals), or
# one group number.
Mates = int | Iterable[object] | pd.Series | np.ndarray

class IdMatrix(scipy.sparse.csr_matrix):
    """A symmetric sparse matrix whose rows and columns ``ids`` name."""

    ids: list[str] | None
    def __init__(self, arg1: object, shape: tuple[int, int] | None = None, dtype: object = None,
                 copy: bool = False, *, ids: list[str] | None = None) -> None: ...
    def to_frame(self) -> pd.DataFrame:
        """The dense matrix with the IDs as index and columns."""

def command_keywords(command: str) -> dict[str, str]:
    """The keywords Pedigree.run takes for a command, with their defaults."""

class Pedigree:
    """A validated pedigree: rows, then parents without a row of their own."""

    @classmethod
    def from_frame(cls, frame: pd.DataFrame, id: str | None = None, sire: str | None = None,
                   dam: str | None = None, group: str | None = None, f: str | None = None,
                   sex: str | None = None, birth_date: str | None = None,
                   threads: int = 0, genetic_groups: Iterable[object] | None = None,
                   group_fractions: GroupFractions | None = None,
                   metafounders: Metafounders | None = None) -> Pedigree:
        """A pedigree from the columns of a data frame."""
    def __len__(self) -> int:
        """Rows plus added parents."""
    @property
    def rows(self) -> int:
        """The number of rows of the file or frame."""
    @property
    def ids(self) -> np.ndarray:
        """Every ID in input order (object array of str)."""
    @property
    def group_names(self) -> dict[int, str]: ...
    @property
    def groups(self) -> list[int]:
        """The group numbers, ascending."""
    @property
    def group_ids(self) -> list[str]:
        """The genetic groups or metafounders, in the order of ainverse's rows after the individuals."""
    @property
    def notes(self) -> list[str]:
        """The warnings and information of the last command."""
    def census(self) -> dict[str, int]:
        """Individuals, rows, added parents, founders and groups."""
    def run(self, command: str, *, threads: int = 0, progress: bool = False,
            **keywords: bool | int | float | str | os.PathLike[str] | None) -> dict[str, pd.DataFrame]:
        """Any declared command by its kinvar-cli name and its keywords."""
    def inbreeding(self, threads: int = 0, progress: bool = False,
                   precision: str = "single") -> pd.DataFrame:
        """The inbreeding table of every individual; attrs["summary"]."""
    def relationship(self, id1: object, id2: object, type: str = "numerator",
                     threads: int = 0, precision: str = "single") -> float:
        """The relationship of two individuals ("numerator" or "coefficient")."""
    def relationships(self, ids: Iterable[object] | None = None, group: int | None = None,
                      group2: int | None = None, type: str = "numerator",
                      range: tuple[float, float] | None = None, precision: str = "single",
                      threads: int = 0, progress: bool = False, *, within: int | None = None,
                      between: tuple[int, int] | None = None) -> pd.DataFrame:
        """The pairs table (id1, id2, value)."""
    def relationship_matrix(self, ids: Iterable[object], type: str = "numerator",
                            threads: int = 0, progress: bool = False,
                            precision: str = "single") -> np.ndarray:
        """The k x k relationship matrix of ``ids``."""
    def ainverse(self, precision: str = "double", threads: int = 0,
                 progress: bool = False) -> IdMatrix:
        """The inverse of A (double precision by default), labelled: ``ids``, then the genetic groups."""
    def hinverse(self, genotypes: str, genotype_format: str | None = None,
                 min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                 min_maf: float = 0.01, method: str = "vanraden1", alpha: float = 0.95,
                 beta: float = 0.05, tau: float = 1.0, omega: float = 1.0, scale: bool = True,
                 precision: str = "double", threads: int = 0, progress: bool = False) -> IdMatrix:
        """The single-step H inverse, labelled as ainverse is."""
    def parentage(self, genotypes: str, genotype_format: str | None = None,
                  min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                  min_maf: float = 0.01, exclusion_threshold: float = 0.01, search: bool = True,
                  threads: int = 0, progress: bool = False) -> pd.DataFrame:
        """The recorded parents checked by opposing homozygotes, and the likeliest ones."""
    def x_linked(self, inverse: bool = False, threads: int = 0,
                 progress: bool = False) -> scipy.sparse.csr_matrix:
        """The X-linked relationships S, or their inverse, in ``ids`` order."""
    def dominance(self, group: int | None = None, inverse: bool = False, min_value: float = 0.0,
                  threads: int = 0, progress: bool = False,
                  precision: str = "single") -> IdMatrix:
        """The dominance relationships D, or their inverse, labelled by the IDs of its rows."""
    def average_relatedness(self, threads: int = 0, progress: bool = False,
                            precision: str = "single") -> pd.DataFrame:
        """Each individual's average relationship (id, value)."""
    def average_between_groups(self, threads: int = 0, progress: bool = False,
                               precision: str = "single") -> pd.DataFrame:
        """Average relationships within and between groups (group1, group2, value)."""
    def dii(self, threads: int = 0, progress: bool = False,
            precision: str = "single") -> pd.DataFrame:
        """The diagonal D of A = TDT' (id, code, dii)."""
    def structure(self, list_founders: bool = False, threads: int = 0,
                  progress: bool = False) -> dict[str, pd.DataFrame]:
        """The structure census, a frame per table."""
    def path_counting(self, id: object = None, *, group: int | None = None, threads: int = 0,
                      progress: bool = False) -> dict[str, pd.DataFrame]:
        """Path counting: the frames inbreds, paths and ncas."""
    def extract(self, id: object = None, *, group: int | None = None,
                kinship: str = "ancestors", threads: int = 0) -> Pedigree:
        """Ancestors or descendants as a pedigree of their own."""
    def gene_origin(self, group: int, threads: int = 0, progress: bool = False) -> pd.DataFrame:
        """Founder contributions of a group; attrs["summary"]."""
    def decompose_inbreeding(self, id: object = None, group: int | None = None,
                             coancestry: bool = False, precision: str = "single",
                             threads: int = 0, progress: bool = False) -> pd.DataFrame:
        """The ancestral decomposition table; attrs["summary"]."""
    def decompose(self, id: object = None, group: int | None = None,
                  coancestry: bool = False, precision: str = "single",
                  threads: int = 0, progress: bool = False) -> pd.DataFrame:
        """The older name of decompose_inbreeding."""
    def diversity(self, group: int | None = None, threads: int = 0,
                  progress: bool = False) -> dict[str, pd.DataFrame]:
        """The genetic diversity summary, a frame per table."""
    def optimize_matings(self, sires: Mates, dams: Mates,
                         contributions: Mapping[object, int] | pd.Series | Iterable[tuple[object, int]] | pd.DataFrame,
                         forbidden: Iterable[tuple[object, object]] | pd.DataFrame | None = None,
                         exact: bool = True, seed: int = 0, threads: int = 0,
                         progress: bool = False) -> pd.DataFrame:
        """The matings table (sire, dam, coancestry); attrs["summary"]."""
    def purging(self, group: int | None = None, purging_coefficient: float = 0.0,
                gene_drops: int = 0, all_founders: bool = False, seed: int = 0,
                threads: int = 0, progress: bool = False) -> dict[str, pd.DataFrame]:
        """Ancestral, partial and purged inbreeding, a frame per table."""
    def mean_kinship(self, group: int | None = None, threads: int = 0,
                     progress: bool = False) -> pd.DataFrame:
        """The mean kinship ranking; attrs["summary"]."""
    def genotype_qc(self, genotypes: str, *, genotype_format: str | None = None,
                    min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                    min_maf: float = 0.01, threads: int = 0,
                    progress: bool = False) -> dict[str, pd.DataFrame]:
        """The genotype file's quality control and matching, a frame per table."""
    def genomic_relationship(self, genotypes: str, *, genotype_format: str | None = None,
                             min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                             min_maf: float = 0.01, frequencies: str = "genotyped",
                             method: str = "vanraden1", write_g: str | None = None,
                             g_format: str = "triplets", pairs: int = 20, threads: int = 0,
                             progress: bool = False) -> dict[str, pd.DataFrame]:
        """G set against A22, a frame per table."""
    def genomic_inbreeding(self, genotypes: str, *, genotype_format: str | None = None,
                           min_snp_call_rate: float = 0.90, min_animal_call_rate: float = 0.90,
                           min_maf: float = 0.01, frequencies: str = "genotyped",
                           roh_window_snps: int = 50, roh_max_het: int = 1, roh_max_missing: int = 5,
                           roh_min_share: float = 0.05, roh_min_snps: int = 50,
                           roh_min_length: int = 1000000, threads: int = 0,
                           progress: bool = False) -> dict[str, pd.DataFrame]:
        """Genomic inbreeding beside pedigree F, a frame per table."""
    def mate_suitability(self, sires: Mates, dams: Mates, reference: int | None = None,
                         max_f: float = 0.0625, threads: int = 0,
                         progress: bool = False) -> pd.DataFrame:
        """Every sire-dam pair scored; attrs["summary"]."""
    def planned_mating(self, sire: str | None, dam: str | None, *,
                       sire_parents: tuple[str | None, str | None] | None = None,
                       dam_parents: tuple[str | None, str | None] | None = None,
                       candidates: int | None = None, reference: int | None = None,
                       top: int = 20, threads: int = 0,
                       progress: bool = False) -> dict[str, pd.DataFrame]:
        """A planned mating: summary, common_ancestors and best_sires."""
    def optimum_contributions(self, sires: Mates, dams: Mates,
                              breeding_values: Mapping[object, float] | pd.Series
                              | Iterable[tuple[object, float]] | pd.DataFrame | None = None,
                              target_delta_f: float | None = None,
                              target_kinship: float | None = None,
                              max_contribution: float | None = None, matings: bool = False,
                              threads: int = 0,
                              progress: bool = False) -> dict[str, pd.DataFrame]:
        """Optimum contributions: summary, contributions (and sire_matings)."""
