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
