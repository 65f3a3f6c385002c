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
