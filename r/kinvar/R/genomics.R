# Genotypes beside the pedigree: genomic relationships set against the
# pedigree's, and genomic inbreeding beside pedigree F. The arguments are
# the command's form, by the command line's option names.

.genomic_values <- function(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate,
                            min_maf, frequencies) {
  if (length(genotypes) != 1L || !is.character(genotypes) || is.na(genotypes)) {
    stop("'genotypes' must be the genotype file's name", call. = FALSE)
  }
  number <- function(x, what) format(.one_number(x, what), digits = 15)
  values <- c(genotypes = genotypes,
              "min-snp-call-rate" = number(min_snp_call_rate, "min_snp_call_rate"),
              "min-animal-call-rate" = number(min_animal_call_rate, "min_animal_call_rate"),
              "min-maf" = number(min_maf, "min_maf"))
  if (!is.null(genotype_format)) values["genotype-format"] <- as.character(genotype_format)
  if (length(frequencies) != 1L || !is.character(frequencies) || is.na(frequencies)) {
    stop("'frequencies' must be \"genotyped\", \"founders\" or a file's name", call. = FALSE)
  }
  if (frequencies %in% c("genotyped", "founders")) {
    values["frequencies"] <- frequencies
  } else {
    values["frequencies"] <- "file"
    values["frequency-file"] <- frequencies
  }
  values
}

.genomic <- function(ped, inbreeding, values, threads, progress) {
  .value(.kv_genomic(.ptr(ped), inbreeding, names(values), unname(values), .control(threads, progress)),
         call = sys.call(-1L))
}

genomic_relationship <- function(ped, genotypes, genotype_format = NULL, min_snp_call_rate = 0.90,
                                 min_animal_call_rate = 0.90, min_maf = 0.01, frequencies = "genotyped",
                                 method = "vanraden1", write_g = NULL, g_format = "triplets", pairs = 20L,
                                 threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  values <- .genomic_values(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate,
                            min_maf, frequencies)
  values["method"] <- as.character(method)
  values["output-format"] <- as.character(g_format)
  if (!is.null(write_g)) values["output"] <- path.expand(as.character(write_g))
  values["pairs"] <- format(.one_number(pairs, "pairs"), digits = 15)
  .genomic(ped, FALSE, values, threads, progress)
}

genomic_inbreeding <- function(ped, genotypes, genotype_format = NULL, min_snp_call_rate = 0.90,
                               min_animal_call_rate = 0.90, min_maf = 0.01, frequencies = "genotyped",
                               roh_window_snps = 50L, roh_max_het = 1L, roh_max_missing = 5L,
                               roh_min_share = 0.05, roh_min_snps = 50L, roh_min_length = 1e6,
                               threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  values <- .genomic_values(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate,
                            min_maf, frequencies)
  whole <- function(x, what) format(.one_number(x, what), digits = 15, scientific = FALSE)
  values["roh-window-snps"] <- whole(roh_window_snps, "roh_window_snps")
  values["roh-max-het"] <- whole(roh_max_het, "roh_max_het")
  values["roh-max-missing"] <- whole(roh_max_missing, "roh_max_missing")
  values["roh-min-share"] <- format(.one_number(roh_min_share, "roh_min_share"), digits = 15)
  values["roh-min-snps"] <- whole(roh_min_snps, "roh_min_snps")
  values["roh-min-length"] <- whole(roh_min_length, "roh_min_length")
  .genomic(ped, TRUE, values, threads, progress)
}
