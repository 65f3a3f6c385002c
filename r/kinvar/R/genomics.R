# Genotypes beside the pedigree: the genotype file's quality control,
# genomic relationships set against the pedigree's, genomic inbreeding
# beside pedigree F, the single-step H inverse and parentage. The arguments
# are the keywords the commands declare, passed on as texts.

# The genotype input's keywords, as every genomic command declares them.
.genotype_keywords <- function(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate,
                               min_maf) {
  if (length(genotypes) != 1L || !is.character(genotypes) || is.na(genotypes)) {
    stop("'genotypes' must be the name of one genotype file", call. = FALSE)
  }
  format <- if (is.null(genotype_format)) "" else match.arg(genotype_format, c("plink", "vcf", "text"))
  c(genotypes = path.expand(genotypes), genotype_format = format,
    min_snp_call_rate = .number_text(min_snp_call_rate, "min_snp_call_rate"),
    min_animal_call_rate = .number_text(min_animal_call_rate, "min_animal_call_rate"),
    min_maf = .number_text(min_maf, "min_maf"))
}

.number_text <- function(x, what) format(.one_number(x, what), digits = 15)
.whole_text <- function(x, what) format(.one_number(x, what), digits = 15, scientific = FALSE)

.frequencies_text <- function(frequencies) {
  if (length(frequencies) != 1L || !is.character(frequencies) || is.na(frequencies)) {
    stop("'frequencies' must be \"genotyped\", \"founders\" or a file's name", call. = FALSE)
  }
  if (frequencies %in% c("genotyped", "founders")) frequencies else path.expand(frequencies)
}

.genomic <- function(ped, command, keywords, threads, progress) {
  .value(.kv_genomic(.ptr(ped), command, names(keywords), unname(keywords), .control(threads, progress)),
         call = sys.call(-1L))
}

genotype_qc <- function(ped, genotypes, genotype_format = NULL, min_snp_call_rate = 0.90,
                        min_animal_call_rate = 0.90, min_maf = 0.01,
                        threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  keywords <- .genotype_keywords(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate, min_maf)
  .genomic(ped, "genotype-qc", keywords, threads, progress)
}

genomic_relationship <- function(ped, genotypes, genotype_format = NULL, min_snp_call_rate = 0.90,
                                 min_animal_call_rate = 0.90, min_maf = 0.01, frequencies = "genotyped",
                                 method = "vanraden1", write_g = NULL, g_format = "triplets", pairs = 20L,
                                 threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  keywords <- c(.genotype_keywords(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate, min_maf),
                frequencies = .frequencies_text(frequencies), method = as.character(method),
                write_g = if (is.null(write_g)) "" else path.expand(as.character(write_g)),
                g_format = as.character(g_format), pairs = .whole_text(pairs, "pairs"))
  .genomic(ped, "genomic-relationship", keywords, threads, progress)
}

genomic_inbreeding <- function(ped, genotypes, genotype_format = NULL, min_snp_call_rate = 0.90,
                               min_animal_call_rate = 0.90, min_maf = 0.01, frequencies = "genotyped",
                               roh_window_snps = 50L, roh_max_het = 1L, roh_max_missing = 5L,
                               roh_min_share = 0.05, roh_min_snps = 50L, roh_min_length = 1e6,
                               threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  keywords <- c(.genotype_keywords(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate, min_maf),
                frequencies = .frequencies_text(frequencies),
                roh_window_snps = .whole_text(roh_window_snps, "roh_window_snps"),
                roh_max_het = .whole_text(roh_max_het, "roh_max_het"),
                roh_max_missing = .whole_text(roh_max_missing, "roh_max_missing"),
                roh_min_share = .number_text(roh_min_share, "roh_min_share"),
                roh_min_snps = .whole_text(roh_min_snps, "roh_min_snps"),
                roh_min_length = .whole_text(roh_min_length, "roh_min_length"))
  .genomic(ped, "genomic-inbreeding", keywords, threads, progress)
}

hinverse <- function(ped, genotypes, genotype_format = NULL, min_snp_call_rate = 0.90,
                     min_animal_call_rate = 0.90, min_maf = 0.01,
                     method = c("vanraden1", "vanraden2", "yang"), alpha = 0.95, beta = 0.05,
                     tau = 1, omega = 1, scale = TRUE, precision = c("double", "single"),
                     threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  keywords <- c(.genotype_keywords(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate, min_maf),
                method = match.arg(method), alpha = .number_text(alpha, "alpha"),
                beta = .number_text(beta, "beta"), tau = .number_text(tau, "tau"),
                omega = .number_text(omega, "omega"), scale = if (isTRUE(scale)) "1" else "0")
  lower <- .value(.kv_hinverse(.ptr(ped), names(keywords), unname(keywords),
                               .control(threads, progress, precision)))
  .lower_matrix(lower, c(pedigree_ids(ped), lower$groups))
}

parentage <- function(ped, genotypes, genotype_format = NULL, min_snp_call_rate = 0.90,
                      min_animal_call_rate = 0.90, min_maf = 0.01, exclusion_threshold = 0.01,
                      search = TRUE, threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  keywords <- c(.genotype_keywords(genotypes, genotype_format, min_snp_call_rate, min_animal_call_rate, min_maf),
                exclusion_threshold = .number_text(exclusion_threshold, "exclusion_threshold"),
                search = if (isTRUE(search)) "1" else "0")
  tables <- .genomic(ped, "parentage", keywords, threads, progress)
  result <- tables$parentage
  attr(result, "summary") <- tables$summary
  result
}
