#include "genomics/genomic_relationship_files.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace kinvar {
namespace {

constexpr const char* kGctaSuffix = ".grm.bin";

void WriteValue(OutputFile& file, double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(value)).ptr;
  file.Raw(std::string_view(text, static_cast<std::size_t>(end - text)));
}

void WriteFloat(OutputFile& file, double value) {
  auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
  if constexpr (std::endian::native == std::endian::big) bits = __builtin_bswap32(bits);
  char bytes[4];
  std::memcpy(bytes, &bits, 4);
  file.Raw(std::string_view(bytes, 4));
}

}  // namespace

std::vector<std::string> GenomicMatrixPaths(GenomicMatrixForm form, const std::string& path) {
  if (form != GenomicMatrixForm::kGcta) return {path};
  std::string prefix = path;
  const std::size_t suffix = std::strlen(kGctaSuffix);
  if (prefix.size() > suffix && prefix.compare(prefix.size() - suffix, suffix, kGctaSuffix) == 0) {
    prefix.resize(prefix.size() - suffix);
  }
  return {prefix + ".grm.bin", prefix + ".grm.N.bin", prefix + ".grm.id"};
}

std::unique_ptr<GenomicMatrixWriter> BeginGenomicMatrix(GenomicMatrixForm form, const std::string& path,
                                                        std::vector<std::int32_t> codes,
                                                        std::vector<std::string> ids,
                                                        std::string& error) {
  auto writer = std::make_unique<GenomicMatrixWriter>();
  writer->form = form;
  writer->codes = std::move(codes);
  writer->ids = std::move(ids);
  for (const std::string& target : GenomicMatrixPaths(form, path)) {
    std::string why;
    std::unique_ptr<OutputFile> file = OutputFile::Begin(target, why);
    if (!file) {
      error = "Cannot open " + target + " for writing.\n" + why;
      return nullptr;
    }
    writer->files.push_back(std::move(file));
  }
  if (form == GenomicMatrixForm::kGcta) {
    OutputFile& id = *writer->files[2];
    for (const std::string& name : writer->ids) {
      id.Raw(name);
      id.Raw('\t');
      id.Raw(name);
      id.Raw('\n');
    }
  }
  return writer;
}

void WriteGenomicRows(GenomicMatrixWriter& writer, const GenomicRowBlock& block) {
  OutputFile& file = *writer.files[0];
  for (std::int64_t i = block.first; i < block.end; ++i) {
    const double* row = block.values + (i - block.first) * block.columns;
    switch (writer.form) {
      case GenomicMatrixForm::kTriplets:
        for (std::int64_t j = 0; j <= i; ++j) {
          file.RawInt(writer.codes[static_cast<std::size_t>(i)]);
          file.Raw(' ');
          file.RawInt(writer.codes[static_cast<std::size_t>(j)]);
          file.Raw(' ');
          WriteValue(file, row[j]);
          file.Raw('\n');
        }
        break;
      case GenomicMatrixForm::kDense:
        file.Raw(writer.ids[static_cast<std::size_t>(i)]);
        for (std::int64_t j = 0; j < block.columns; ++j) {
          file.Raw(' ');
          WriteValue(file, row[j]);
        }
        file.Raw('\n');
        break;
      case GenomicMatrixForm::kGcta: {
        const double* counts = block.counts + (i - block.first) * block.columns;
        for (std::int64_t j = 0; j <= i; ++j) {
          WriteFloat(file, row[j]);
          WriteFloat(*writer.files[1], counts[j]);
        }
        break;
      }
    }
  }
}

bool CommitGenomicMatrix(GenomicMatrixWriter& writer, std::string& error) {
  // All settle before any is renamed, so a full disk leaves every target
  // as it was rather than a new .grm.bin beside an old .grm.N.bin.
  for (const auto& file : writer.files) {
    if (!file->Settle()) {
      error = "Error while writing " + file->target() + ".\n" + file->error();
      for (const auto& other : writer.files) other->Discard();
      return false;
    }
  }
  for (const auto& file : writer.files) {
    if (!file->Commit()) {
      error = "Error while writing " + file->target() + ".\n" + file->error();
      return false;
    }
  }
  return true;
}

}  // namespace kinvar
