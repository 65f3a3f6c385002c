#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <unordered_map>

#include "genetics/parallel.h"
#include "genomics/genotype_reader.h"
#include "pedigree/number_text.h"
#include "pedigree/pedigree.h"
#include "pedigree/side_file.h"

namespace kinvar {

namespace {

constexpr std::uint8_t kMagic[3] = {0x6c, 0x1b, 0x01};
// SNPs read and decoded at a time: every animal's row then receives several
// whole cache lines at once (a row each 4 kB page or more apart, so a store
// also costs a page lookup), while the read stays within a few megabytes.
constexpr std::int64_t kMostSnpsPerBlock = 512;
constexpr std::int64_t kReadBytes = std::int64_t{8} << 20;
// Animals decoded at a time: a tile of 512 SNPs x 512 animals stays in the
// second cache level while it is turned animal-major.
constexpr std::int64_t kAnimalsPerTile = 512;

GenotypeFile Failed(std::string message) { return GenotypeFile{{}, {}, 0, std::move(message)}; }

std::string Beside(const std::string& bedPath, const char* extension) {
  return bedPath.substr(0, bedPath.size() - 4) + extension;
}

// The lines of a .fam or a .bim, each cut into words; blank lines are
// skipped. `take` says what is wrong with a line, "" when it is sound.
template <class Take>
std::string ReadWordLines(const std::string& path, Take take) {
  SideFileLimits limits;
  limits.maxFileBytes = std::uint64_t{1} << 40;
  std::string fault;
  const SideFileResult read = ReadSideFileLines(
      path,
      [&](std::string_view line, std::int64_t number) {
        const std::vector<std::string_view> words = SideFileWords(line);
        if (words.empty()) return true;
        if (words.size() != 6) {
          fault = "The line holds " + std::to_string(words.size()) + " fields where this file has 6 a line.";
        } else {
          fault = take(words, number);
        }
        if (!fault.empty()) fault = "Error in line " + std::to_string(number) + " of " + path + ".\n" + fault;
        return fault.empty();
      },
      limits);
  return read.ok() ? fault : read.message;
}

std::string ReadFam(const std::string& path, GenotypeFile& file) {
  std::unordered_map<std::string, std::int64_t> lineOfId;
  return ReadWordLines(path, [&](const std::vector<std::string_view>& words, std::int64_t number) {
    const auto [seen, fresh] = lineOfId.emplace(UpperCased(words[1]), number);
    if (!fresh)
      return "The animal " + QuotedCell(words[1]) + " has a line of its own in line " +
             std::to_string(seen->second) + " already.";
    file.genotypes.ids.emplace_back(words[1]);
    file.places.push_back(number);
    return std::string();
  });
}

std::string ReadBim(const std::string& path, GenotypeFile& file) {
  return ReadWordLines(path, [&](const std::vector<std::string_view>& words, std::int64_t) {
    if (!WholeNumber(words[2])) return "The genetic distance " + QuotedCell(words[2]) + " is not a number.";
    const std::optional<std::int64_t> position = WholeInteger(words[3], INT64_MIN / 2, INT64_MAX / 2);
    if (!position) return "The position " + QuotedCell(words[3]) + " is not a whole number.";
    file.genotypes.snps.push_back(SnpInfo{std::string(words[0]), std::string(words[1]), *position,
                                          std::string(words[4]), std::string(words[5])});
    return std::string();
  });
}

class Descriptor {
 public:
  explicit Descriptor(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads `size` bytes whole; false at the end of the file or a fault.
bool ReadExactly(int fd, std::uint8_t* into, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::read(fd, into, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// Each byte of a .bed as the four genotypes it holds, first animal in the
// lowest byte, as one word to store.
std::array<std::uint32_t, 256> ByteCodes() {
  constexpr std::uint32_t kTwoBits[4] = {0, kMissingGenotype, 1, 2};
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t byte = 0; byte < 256; ++byte)
    for (std::uint32_t k = 0; k < 4; ++k) {
      const std::uint8_t code = static_cast<std::uint8_t>(kTwoBits[(byte >> (2 * k)) & 3]);
      std::memcpy(reinterpret_cast<std::uint8_t*>(&table[byte]) + k, &code, 1);
    }
  return table;
}

void SwapAcross(std::uint64_t& low, std::uint64_t& high, int shift, std::uint64_t mask) {
  const std::uint64_t t = ((low >> shift) ^ high) & mask;
  high ^= t;
  low ^= t << shift;
}

// An 8 x 8 byte matrix held as eight words, row i in word i, turned so that
// word i holds column i: three rounds of swapping blocks across the
// diagonal, 1, 2 and 4 bytes wide.
void Transpose8(std::uint64_t (&r)[8]) {
  constexpr std::uint64_t kOne = 0x00FF00FF00FF00FFull, kTwo = 0x0000FFFF0000FFFFull, kFour = 0x00000000FFFFFFFFull;
  SwapAcross(r[0], r[1], 8, kOne);
  SwapAcross(r[2], r[3], 8, kOne);
  SwapAcross(r[4], r[5], 8, kOne);
  SwapAcross(r[6], r[7], 8, kOne);
  SwapAcross(r[0], r[2], 16, kTwo);
  SwapAcross(r[1], r[3], 16, kTwo);
  SwapAcross(r[4], r[6], 16, kTwo);
  SwapAcross(r[5], r[7], 16, kTwo);
  SwapAcross(r[0], r[4], 32, kFour);
  SwapAcross(r[1], r[5], 32, kFour);
  SwapAcross(r[2], r[6], 32, kFour);
  SwapAcross(r[3], r[7], 32, kFour);
}

// The SNPs of one block decoded SNP-major a tile of animals at a time, then
// turned animal-major eight animals by eight SNPs at a time, so that every
// store fills whole words.
class BlockDecoder {
 public:
  explicit BlockDecoder(std::int64_t rowBytes)
      : rowBytes_(rowBytes), decoded_(static_cast<std::size_t>(kMostSnpsPerBlock * kAnimalsPerTile), 0) {}

  // `count` SNP rows of `raw` into columns first..first + count of `g`.
  void Decode(const std::uint8_t* raw, std::int64_t count, std::int64_t first, Genotypes& g) {
    for (std::int64_t a0 = 0; a0 < g.AnimalCount(); a0 += kAnimalsPerTile) {
      const std::int64_t animals = std::min(kAnimalsPerTile, g.AnimalCount() - a0);
      DecodeTile(raw, count, a0, animals);
      TurnTile(count, first, a0, animals, g);
    }
  }

 private:
  // Row j of the tile: SNP j's genotypes of animals a0..a0 + animals.
  void DecodeTile(const std::uint8_t* raw, std::int64_t count, std::int64_t a0, std::int64_t animals) {
    static const auto table = ByteCodes();
    const std::int64_t bytes = (animals + 3) / 4;
    for (std::int64_t j = 0; j < count; ++j) {
      std::uint8_t* row = decoded_.data() + j * kAnimalsPerTile;
      const std::uint8_t* packed = raw + j * rowBytes_ + a0 / 4;
      for (std::int64_t q = 0; q < bytes; ++q) std::memcpy(row + 4 * q, &table[packed[q]], 4);
    }
  }

  void TurnTile(std::int64_t count, std::int64_t first, std::int64_t a0, std::int64_t animals, Genotypes& g) {
    const std::int64_t m = g.SnpCount();
    std::uint8_t* codes = g.codes.data() + a0 * m + first;
    for (std::int64_t a = 0; a < animals; a += 8) {
      std::int64_t j = 0;
      for (; j + 8 <= count && a + 8 <= animals; j += 8) {
        std::uint64_t words[8];
        for (int i = 0; i < 8; ++i) std::memcpy(&words[i], decoded_.data() + (j + i) * kAnimalsPerTile + a, 8);
        Transpose8(words);
        for (int i = 0; i < 8; ++i) std::memcpy(codes + (a + i) * m + j, &words[i], 8);
      }
      for (std::int64_t i = a; i < std::min(a + 8, animals); ++i)
        for (std::int64_t jj = (a + 8 <= animals ? j : 0); jj < count; ++jj)
          codes[i * m + jj] = decoded_[static_cast<std::size_t>(jj * kAnimalsPerTile + i)];
    }
  }

  std::int64_t rowBytes_;
  std::vector<std::uint8_t> decoded_;  // kMostSnpsPerBlock rows of kAnimalsPerTile
};

std::string CheckBedStart(const std::string& path, int fd, std::uint64_t size) {
  std::uint8_t magic[3] = {};
  if (size < 3 || !ReadExactly(fd, magic, 3))
    return "Error: " + path + " is not a PLINK .bed file: it is shorter than the 3 bytes that start one.";
  if (magic[0] != kMagic[0] || magic[1] != kMagic[1])
    return "Error: " + path + " is not a PLINK .bed file: it does not start with the bytes 0x6C 0x1B.";
  if (magic[2] != kMagic[2])
    return "Error: " + path + " holds its genotypes animal by animal (an old PLINK mode); "
           "write it again with a current PLINK, which stores them SNP by SNP.";
  return {};
}

std::string CheckBedSize(const std::string& path, std::uint64_t size, const Genotypes& g) {
  const auto rowBytes = static_cast<std::uint64_t>((g.AnimalCount() + 3) / 4);
  const std::uint64_t need = 3 + rowBytes * static_cast<std::uint64_t>(g.SnpCount());
  if (size == need) return {};
  const std::string counts = std::to_string(g.SnpCount()) + " SNPs of the .bim and the " +
                             std::to_string(g.AnimalCount()) + " animals of the .fam need " +
                             std::to_string(need) + " bytes";
  if (size < need) {
    const std::uint64_t whole = (size - 3) / rowBytes;
    return "Error: " + path + " is truncated: it ends within SNP " + std::to_string(whole + 1) + " (" +
           g.snps[static_cast<std::size_t>(whole)].name + "); the " + counts + ", the file has " +
           std::to_string(size) + ".";
  }
  return "Error: " + path + " has " + std::to_string(size) + " bytes where the " + counts +
         ": the .bim or the .fam is not the one written with it.";
}

// Reads `size` bytes whole from `offset` on; false at the end of the file or
// a fault.
bool ReadExactlyAt(int fd, std::uint8_t* into, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

// The blocks of SNPs, each read by its position and decoded into its own
// columns, on several threads: each worker has its own buffers. A fault
// stops the reading; the first block that failed is reported.
std::string ReadBlocks(const std::string& path, int fd, Genotypes& g, int threads, Progress& progress) {
  const std::int64_t rowBytes = (g.AnimalCount() + 3) / 4;
  const std::int64_t snpsPerBlock = std::clamp<std::int64_t>(kReadBytes / rowBytes, 8, kMostSnpsPerBlock);
  const std::int64_t blocks = (g.SnpCount() + snpsPerBlock - 1) / snpsPerBlock;
  const int workers = WorkerCountFor(threads, blocks, 4);
  std::vector<std::vector<std::uint8_t>> raw(static_cast<std::size_t>(workers));
  std::vector<BlockDecoder> decoders(static_cast<std::size_t>(workers), BlockDecoder(rowBytes));
  std::atomic<std::int64_t> done{0};
  std::atomic<std::int64_t> failedBlock{blocks};
  std::mutex failing;
  std::string failure;
  progress.SetStage(0, 100, g.SnpCount(), "Reading " + path);
  const bool finished = RunBlocks(
      workers, static_cast<std::int32_t>(blocks),
      [&](std::int32_t b, int worker) {
        if (failedBlock.load() < blocks) return;
        const std::int64_t first = std::int64_t{b} * snpsPerBlock;
        const std::int64_t count = std::min(snpsPerBlock, g.SnpCount() - first);
        std::vector<std::uint8_t>& buffer = raw[static_cast<std::size_t>(worker)];
        buffer.resize(static_cast<std::size_t>(count * rowBytes));
        errno = 0;
        if (!ReadExactlyAt(fd, buffer.data(), buffer.size(), 3 + static_cast<std::uint64_t>(first * rowBytes))) {
          const std::string why = errno == 0 ? std::string("it ended early") : std::generic_category().message(errno);
          const std::lock_guard lock(failing);
          if (b < failedBlock.load()) {
            failedBlock = b;
            failure = "Error: " + path + " could not be read past SNP " + std::to_string(first) + ": " + why + ".";
          }
          return;
        }
        decoders[static_cast<std::size_t>(worker)].Decode(buffer.data(), count, first, g);
        done += count;
      },
      [&] { return progress.Step(done.load()); });
  if (failedBlock.load() < blocks) return failure;
  if (!finished) return "The reading of " + path + " was cancelled.";
  return {};
}

std::string ReadBed(const std::string& path, Genotypes& g, int threads, Progress& progress) {
  const Descriptor bed(path);
  struct stat status {};
  if (bed.get() < 0) return "Cannot open " + path;
  if (::fstat(bed.get(), &status) != 0 || !S_ISREG(status.st_mode))
    return "Error: " + path + " is not a file.";
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (std::string fault = CheckBedStart(path, bed.get(), size); !fault.empty()) return fault;
  if (std::string fault = CheckBedSize(path, size, g); !fault.empty()) return fault;
  g.codes.resize(static_cast<std::size_t>(g.AnimalCount() * g.SnpCount()));
  return ReadBlocks(path, bed.get(), g, threads, progress);
}

}  // namespace

GenotypeFile ReadPlinkGenotypes(const std::string& bedPath, Progress& progress, int threads) {
  GenotypeFile file;
  const std::string fam = Beside(bedPath, ".fam");
  const std::string bim = Beside(bedPath, ".bim");
  if (std::string fault = ReadFam(fam, file); !fault.empty()) return Failed(std::move(fault));
  if (file.genotypes.ids.empty()) return Failed("Error: " + fam + " lists no animal.");
  if (std::string fault = ReadBim(bim, file); !fault.empty()) return Failed(std::move(fault));
  if (file.genotypes.snps.empty()) return Failed("Error: " + bim + " lists no SNP.");
  if (std::string fault = ReadBed(bedPath, file.genotypes, threads, progress); !fault.empty())
    return Failed(std::move(fault));
  return file;
}

}  // namespace kinvar
