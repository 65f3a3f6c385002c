// The genotype input every genomic command shares: one file read, its
// animals matched to the pedigree, quality control applied, and a report of
// what was left out and why.
//
// Conventions of this header:
// - Animals are matched by ID with the pedigree reader's own rules (a to z
//   upper-cased, at most 20 bytes); the .fam's second column is the ID.
// - Quality control runs on the animals found in the pedigree, in this
//   order: animals' call rate (over all SNPs of the file), then SNPs' call
//   rate, monomorphic SNPs and minor allele frequency (over the animals
//   kept). A SNP is counted under the first reason that drops it.
// - A rate or frequency is dropped only when below its threshold: a SNP
//   called in exactly 90 % of the animals passes a 0.90 threshold.
// - The readers return errors as the pedigree loader does: `error` names the
//   file and the line or record, and nothing after a damaged record is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "genomics/genotypes.h"
#include "pedigree/pedigree.h"
#include "report/progress.h"
#include "report/result_table.h"

namespace kinvar {

struct GenotypeQcOptions {
  double minSnpCallRate = 0.90;
  double minAnimalCallRate = 0.90;
  double minMaf = 0.01;
};

struct GenotypeInputOptions {
  std::string path;
  // "plink", "vcf" or "text"; "" chooses by extension: .bed a PLINK set,
  // .vcf, .vcf.gz and .bcf through htslib, anything else the text form.
  std::string format;
  GenotypeQcOptions qc;
};

struct GenotypeInput {
  // After quality control: only animals found in the pedigree, in pedigree
  // code order.
  Genotypes genotypes;
  std::vector<RecIndex> recOf;  // per animal row: its record in the pedigree
  std::vector<std::string> notInPedigree;  // genotyped IDs as the file spells them
  std::int64_t pedigreeWithoutGenotypes = 0;
  // The pedigree's records without a genotype row, in code order.
  std::vector<RecIndex> withoutGenotypes;
  // One row per quality-control step: step, reason, kind, threshold,
  // dropped, left.
  ResultTable qcTable{"qc"};
  // Every animal and SNP dropped, with its reason and its figure.
  ResultTable droppedTable{"qc_dropped"};
  std::vector<std::string> reportLines;
  // Empty when read; otherwise the message naming the file and the line or
  // record. Also set when no animal or no SNP is left, with the tables
  // filled, so a check of the file still shows why.
  std::string error;
  // Records of a VCF or BCF that are not biallelic SNPs with GT, skipped.
  std::int64_t skippedRecords = 0;
};

GenotypeInput ReadGenotypeInput(const Pedigree& ped, const GenotypeInputOptions& options,
                                Progress& progress);

// "plink", "vcf" or "text": the format `options` names, or the one its
// path's extension implies.
std::string GenotypeFormatOf(const GenotypeInputOptions& options);

}  // namespace kinvar
