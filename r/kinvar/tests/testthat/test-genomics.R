herd <- system.file("extdata", "herd.pdg", package = "kinvar")
vcf <- system.file("extdata", "herd-genotypes.vcf", package = "kinvar")

test_that("genomic relationships come with G against A22 and its file", {
  ped <- read_pedigree(herd)
  out <- tempfile(fileext = ".txt")
  g <- genomic_relationship(ped, vcf, pairs = 3, write_g = out)
  expect_equal(g$genomic_pedigree$elements, c("diagonal", "off-diagonal", "all"))
  expect_equal(g$genomic_pedigree$count, c(17, 136, 153))
  expect_equal(nrow(g$genomic_pedigree_pairs), 3L)
  triplets <- read.table(out)
  expect_equal(nrow(triplets), 153L)
  expect_equal(triplets[1, 1:2], data.frame(V1 = 2L, V2 = 2L))
  expect_error(genomic_relationship(ped, vcf, method = "vanraden3"), "vanraden1, vanraden2 or yang",
               class = "kinvar_error")
})

test_that("genomic inbreeding sits beside pedigree F", {
  ped <- read_pedigree(herd)
  f <- genomic_inbreeding(ped, vcf, frequencies = "founders")
  t <- f$genomic_inbreeding
  expect_equal(nrow(t), 17L)
  pedigree_f <- inbreeding(ped)
  expect_equal(t$f_pedigree, pedigree_f$f[match(t$id, pedigree_f$id)], tolerance = 1e-6)
  expect_true(all(t$f_roh >= 0 & t$f_roh < 1))
})

# The single-step H inverse and parentage on the example herd's genotypes.

herd_file <- function(name) system.file("extdata", name, package = "kinvar")

test_that("hinverse is ainverse where no genotypes stand, and a dsCMatrix", {
  ped <- read_pedigree(herd_file("herd.pdg"))
  h <- hinverse(ped, herd_file("herd-snps.txt"))
  a <- ainverse(ped)
  expect_s4_class(h, "dsCMatrix")
  expect_identical(dimnames(h), dimnames(a))
  outside <- c("S2", "D3", "D9")
  expect_equal(as.matrix(h)[outside, ], as.matrix(a)[outside, ], tolerance = 1e-12)
  inside <- setdiff(rownames(a), outside)
  expect_gt(max(abs(as.matrix(h)[inside, inside] - as.matrix(a)[inside, inside])), 0.01)
  # Symmetric: the lower triangle holds all, as ainverse.
  full <- as.matrix(h)
  expect_equal(full, t(full))
})

test_that("parentage excludes C2's recorded sire and finds B4", {
  ped <- read_pedigree(herd_file("herd.pdg"))
  p <- parentage(ped, herd_file("herd-snps.txt"))
  excluded <- p[p$verdict == "excluded", ]
  expect_equal(excluded$id, "C2")
  expect_equal(excluded$recorded, "B1")
  expect_equal(excluded$best, "B4")
  expect_equal(excluded$best_rate, 0)
  confirmed <- p[p$verdict == "confirmed", ]
  expect_true(all(confirmed$rate == 0))
  expect_true(is.data.frame(attr(p, "summary")))
  expect_error(parentage(ped, herd_file("herd-snps.txt"), exclusion_threshold = 2),
               "The exclusion threshold must be a number from 0 to 1.", fixed = TRUE)
})

# Genotype quality control, table by table against kinvar-cli's CSV.

test_that("genotype_qc's tables are kinvar-cli's", {
  skip_without_cli()
  ped <- read_pedigree(herd_file("herd.pdg"))
  genotypes <- herd_file("herd-genotypes.txt")
  cases <- list(defaults = list(args = character(), call = function() genotype_qc(ped, genotypes)),
                loose = list(args = c("--min-maf", "0.2", "--min-animal-call-rate", "0.5"),
                             call = function() genotype_qc(ped, genotypes, min_maf = 0.2,
                                                           min_animal_call_rate = 0.5)))
  for (case in names(cases)) {
    ours <- cases[[case]]$call()
    for (table in c("summary", "qc", "qc_dropped", "not_in_pedigree", "without_genotypes")) {
      cli <- cli_table(c("genotype-qc", herd_file("herd.pdg"), "--genotypes", genotypes,
                         cases[[case]]$args), table)
      expect_same_table(ours[[table]], cli, paste(case, table))
    }
  }
})

test_that("genotype_qc drops C4 and tells the animals it cannot match", {
  ped <- read_pedigree(herd_file("herd.pdg"))
  qc <- genotype_qc(ped, herd_file("herd-genotypes.txt"))
  dropped <- qc$qc_dropped
  expect_equal(dropped$name[dropped$kind == "animal"], "C4")
  expect_equal(qc$not_in_pedigree$id, "X1")
  expect_setequal(qc$without_genotypes$id, c("S2", "D9"))
  expect_error(genotype_qc(ped, herd_file("herd-genotypes.txt"), min_maf = 0.6),
               "The minimum minor allele frequency must be a number from 0 to 0.5.", fixed = TRUE)
})
