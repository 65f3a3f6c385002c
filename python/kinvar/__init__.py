"""Kinvar from Python: pedigree analysis over the Kinvar core.

Read a pedigree with :func:`read_pedigree` or build one from a data frame
with :meth:`Pedigree.from_frame`; its methods return pandas data frames whose
columns are those of ``kinvar-cli --format csv``, NumPy arrays and a SciPy
sparse matrix for the inverse of A.
"""

from ._errors import (BadFrame, ColumnTypeError, InvalidPedigree, KinvarError, MissingColumn,
                      NotAFrame, Refused)
from ._pedigree import MAX_MATRIX_CELLS, IdMatrix, Pedigree, read_pedigree

__all__ = ["BadFrame", "ColumnTypeError", "IdMatrix", "InvalidPedigree", "KinvarError",
           "MAX_MATRIX_CELLS", "MissingColumn", "NotAFrame", "Pedigree", "Refused", "read_pedigree"]
__version__ = "0.1.0"
