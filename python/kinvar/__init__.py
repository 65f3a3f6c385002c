"""Kinvar from Python: pedigree analysis over the Kinvar core.

Read a pedigree with :func:`read_pedigree` or build one from a data frame
with :meth:`Pedigree.from_frame`; its methods return pandas data frames whose
columns are those of ``kinvar-cli --format csv``, NumPy arrays and a SciPy
sparse matrix for the inverse of A.
"""

from importlib.metadata import PackageNotFoundError, version

from ._errors import (BadFrame, ColumnTypeError, InvalidPedigree, KinvarError, MissingColumn,
                      NotAFrame, Refused)
from ._pedigree import MAX_MATRIX_CELLS, IdMatrix, Pedigree, command_keywords, read_pedigree

__all__ = ["BadFrame", "ColumnTypeError", "IdMatrix", "InvalidPedigree", "KinvarError",
           "MAX_MATRIX_CELLS", "MissingColumn", "NotAFrame", "Pedigree", "Refused", "command_keywords",
           "read_pedigree"]
# The version is the core's (the project's CMakeLists.txt), which the
# install writes into the package's metadata.
try:
    __version__ = version("kinvar")
except PackageNotFoundError:  # imported from the source folder, not installed
    __version__ = "0+unknown"
