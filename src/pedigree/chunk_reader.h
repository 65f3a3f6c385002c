// Reading a pedigree file on several threads: blocks of whole lines are cut
// into one piece per thread, the pieces are parsed at the same time and
// joined in file order; columns of a host language's table go through the
// same stages, a block of rows at a time. The result is exactly that of
// ReadPedigree (of LoadPedigreeColumns' reader for columns). Only input
// that reads without fault takes this path: at the first sign of anything
// else (a faulty line, a header not found in the first block, a line longer
// than a block, an empty file) it gives up, and the caller reads the input
// again on one thread, which says what is wrong with it.
#pragma once

#include <cstddef>
#include <string>

#include "pedigree/pedigree.h"
#include "pedigree/pedigree_input.h"
#include "report/progress.h"

namespace kinvar {

struct PedigreeColumnViews;

enum class ChunkRead {
  kRead,       // records, links and groups filled as ReadPedigree fills them
  kCancelled,  // the user cancelled
  kGaveUp,     // `ped` is partly filled: reset it and read with ReadPedigree
};

// Reads `path` into `ped` (which must be reset) on `threads` threads, in
// blocks of `blockBytes` bytes (small blocks serve the tests).
ChunkRead ReadPedigreeInChunks(const std::string& path, Pedigree& ped, Progress& progress, int threads,
                               std::size_t blockBytes = std::size_t{4} << 20);
// The same from an input already opened, which must be a regular file (any
// other gives up at once); it is left at no particular position.
ChunkRead ReadPedigreeInChunks(PedigreeInput& input, Pedigree& ped, Progress& progress, int threads,
                               std::size_t blockBytes = std::size_t{4} << 20);

// The same for a pedigree given as columns (LoadPedigreeColumns), whose
// names are the header row: `blockRows` rows at a time are cut into one
// piece per thread. Gives up as the file's reader does, and on columns
// that are not all of one length; LoadPedigreeColumns then reads them on
// one thread, which says what is wrong.
ChunkRead ReadColumnsInPieces(const PedigreeColumnViews& columns, Pedigree& ped, Progress& progress, int threads,
                              std::size_t blockRows = std::size_t{1} << 17);

}  // namespace kinvar
