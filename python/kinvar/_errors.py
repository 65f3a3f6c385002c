"""The failures a Kinvar computation reports."""


class KinvarError(Exception):
    """Base class of the errors Kinvar raises."""


class InvalidPedigree(KinvarError, ValueError):
    """Validation rejected the pedigree; nothing was built.

    ``errors`` lists validation's messages, one per problem, as the
    report shows them.
    """

    def __init__(self, errors):
        self.errors = list(errors)
        count = len(self.errors)
        head = "; ".join(self.errors[:3]) + ("; ..." if count > 3 else "")
        noun = "error" if count == 1 else "errors"
        super().__init__(f"invalid pedigree ({count} {noun}): {head}")


class Refused(KinvarError, ValueError):
    """Kinvar refused an input (an unknown ID, a group not in the pedigree,
    an unreadable file, a matrix too large); the message says which."""


class NotAFrame(KinvarError, TypeError):
    """from_frame was given something other than a pandas DataFrame (None,
    a dict, a list of tuples ...); the message says what came instead."""


class BadFrame(KinvarError, ValueError):
    """The data frame cannot stand for a pedigree as it is: it has no rows,
    its IDs cannot be told apart, two columns name one thing; the message
    names the row (1 for the first row, whatever the index) and the
    column."""


class ColumnTypeError(BadFrame, TypeError):
    """A column holds values of a type its role does not take, such as
    True/False for the sex."""


class MissingColumn(BadFrame, KeyError):
    """A column named by an argument is not in the frame, or no column
    stands for the individual, its sire or its dam."""

    def __str__(self):
        return str(self.args[0]) if self.args else ""
