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
