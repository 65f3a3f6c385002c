# What R users expect of the package's objects and arguments: the inverse of
# A in double precision, sires and dams by ID, the pedigree object's
# methods, NA for an unknown sex, input order, and argument names that agree
# with the Python module.

herd <- function() read_pedigree(system.file("extdata", "herd.pdg", package = "kinvar"))

test_that("ainverse is in double precision by default: the exact inverse of a tabular A", {
  # Random pedigrees, and the herd, whose predefined F (1/16, 1/8) a float
  # holds exactly, so that double precision is exact throughout.
  for (seed in c(3L, 17L, 29L)) {
    made <- random_pedigree(60L, seed)
    ped <- as_pedigree(made$df, group = "group")
    ids <- pedigree_ids(ped)
    exact <- solve(made$a[ids, ids])
    ours <- as.matrix(ainverse(ped))
    expect_lt(max(abs(ours - exact)), 1e-10 * max(abs(exact)), label = paste("seed", seed))
    single <- as.matrix(ainverse(ped, precision = "single"))
    expect_lt(max(abs(single - exact)), 1e-4 * max(abs(exact)), label = paste("single, seed", seed))
  }
  ped <- herd()
  frame <- as.data.frame(ped)
  ids <- c("D9", setdiff(frame$id, "D9"))  # parents first
  rows <- frame[match(ids, frame$id), ]
  position <- function(parent) ifelse(is.na(parent), 0L, match(parent, ids))
  fpre <- ifelse(ids == "S1", 0.0625, ifelse(ids == "D1", 0.125, NA_real_))
  a <- tabular_a(position(rows$sire), position(rows$dam), fpre)
  dimnames(a) <- list(ids, ids)
  exact <- solve(a[frame$id, frame$id])
  expect_lt(max(abs(as.matrix(ainverse(ped)) - exact)), 1e-10 * max(abs(exact)))
})

test_that("mating commands take sires and dams by ID within one birth-year group", {
  ped <- herd()
  # Group 2 holds both sexes: as groups it cannot be both sides.
  expect_error(mate_suitability(ped, 2, 2), "Two groups are the same")
  pairs <- mate_suitability(ped, sires = c("B1", "B4"), dams = factor(c("B2", "B3")))
  expect_setequal(paste(pairs$sire, pairs$dam), c("B1 B2", "B1 B3", "B4 B2", "B4 B3"))
  for (k in seq_len(nrow(pairs))) {
    expect_equal(pairs$offspring_f[k], relationship(ped, pairs$sire[k], pairs$dam[k]) / 2,
                 tolerance = 1e-6)
  }
  # The ID form gives what the groups give; old scripts' group numbers work.
  by_id <- mate_suitability(ped, sprintf("B%d", 1:4), sprintf("C%d", 1:4))
  by_group <- mate_suitability(ped, 2, 3)
  expect_identical(by_id[order(by_id$sire, by_id$dam), c("sire", "dam", "offspring_f")],
                   by_group[order(by_group$sire, by_group$dam), c("sire", "dam", "offspring_f")])
  # A logical column over the rows marks them.
  frame <- as.data.frame(ped)
  is_sire <- frame$id %in% c("B1", "B4")
  plan <- optimum_contributions(ped, sires = is_sire, dams = frame$id %in% c("B2", "B3"))
  expect_setequal(plan$contributions$id, c("B1", "B4", "B2", "B3"))
  expect_equal(sum(plan$contributions$contribution), 1, tolerance = 1e-6)
})

test_that("listed sires and dams are refused by name", {
  ped <- herd()
  cases <- list(
    "unknown ID" = list(c("B1", "ZZ"), "B2", "Cannot find individual \"ZZ\""),
    "sire and dam" = list(c("B1", "B4"), c("B2", "B4"), "B4 is listed both as a sire and as a dam"),
    "twice" = list(c("B1", "b1"), "B2", "b1 is listed twice among the sires"),
    "NA" = list(c("B1", NA), "B2", "'sires' must not hold NA"),
    "short logical" = list(c(TRUE, FALSE), "B2", "one a row")
  )
  for (name in names(cases)) {
    case <- cases[[name]]
    expect_error(mate_suitability(ped, case[[1]], case[[2]]), case[[3]], fixed = TRUE, label = name)
  }
  expect_equal(nrow(mate_suitability(ped, 2, 3)), 16L)
})

test_that("optimize_matings: sires left out of the contributions get no dams", {
  ped <- herd()
  plan <- optimize_matings(ped, 2, 3, c(B1 = 3, b4 = 1), seed = 1)$matings
  expect_equal(as.vector(table(plan$sire)[c("B1", "B4")]), c(3L, 1L))
  listed <- optimize_matings(ped, c("B1", "B4"), c("B2", "B3"), data.frame(sire = "B4", dams = 2))
  expect_equal(unique(listed$matings$sire), "B4")
  expect_error(optimize_matings(ped, 2, 3, c(B1 = 3, C1 = 1, XX = 0)),
               "not among the sires: C1, XX.", fixed = TRUE)
  expect_error(optimize_matings(ped, c("B1", "B4"), c("B2", "B3"), c(B4 = 1)),
               "The contributions sum to 1, not to the 2 dams.", fixed = TRUE)
})

test_that("the pedigree prints in a line, counts its individuals and turns into a data frame", {
  ped <- herd()
  printed <- capture.output(print(ped))
  expect_identical(printed, "Kinvar pedigree of 18 individuals (17 rows, 1 added parent), 3 groups")
  expect_gt(length(capture.output(summary(ped))), 1L)
  expect_identical(length(ped), 18L)
  expect_identical(nrow(ped), 18L)
  frame <- as.data.frame(ped)
  expect_named(frame, c("id", "sire", "dam", "group"))
  expect_identical(frame$id, pedigree_ids(ped))
  expect_identical(frame$sire[frame$id == "B4"], "S1")
  expect_true(is.na(frame$sire[frame$id == "S1"]))
  expect_true(is.na(frame$group[frame$id == "D9"]))
})

test_that("a subscript of IDs is a pedigree of its own, or an error that names them", {
  made <- random_pedigree(80L, 11L, fpre = TRUE)
  ped <- as_pedigree(made$df, group = "group", f = "f")
  ids <- pedigree_ids(ped)
  for (k in c(5L, 30L, 80L)) {
    chosen <- ids[sort(sample.int(length(ids), k))]
    part <- ped[chosen]
    expect_true(is_pedigree(part))
    # The chosen keep their order; parents outside them are added founders.
    expect_identical(toupper(pedigree_ids(part))[seq_along(chosen)], toupper(chosen))
    f_part <- inbreeding(part)
    whole <- as.data.frame(ped)
    founders <- !(toupper(whole$sire) %in% toupper(chosen)) & !(toupper(whole$dam) %in% toupper(chosen))
    # An individual whose ancestors are all among the chosen keeps its F.
    kept <- chosen[vapply(chosen, function(id) {
      anc <- extract(ped, ancestors_of = id)
      all(toupper(pedigree_ids(anc)) %in% toupper(chosen))
    }, logical(1))]
    f_all <- setNames(inbreeding(ped)$f, toupper(ids))
    expect_equal(f_part$f[match(toupper(kept), toupper(f_part$id))], unname(f_all[toupper(kept)]),
                 tolerance = 1e-6)
  }
  expect_error(ped[c(ids[1], "NOPE1", "NOPE2")], "2 ID(s) not in the pedigree: NOPE1, NOPE2",
               fixed = TRUE)
  expect_error(ped[length(ids) + 1], "positions must lie between")
})

test_that("an unknown sex is NA and purging lists individuals in input order", {
  ped <- herd()
  # No Sex column: the parents' roles give theirs, the others' is unknown.
  mk <- mean_kinship(ped, 3)
  expect_true(all(is.na(mk$sex)))
  frame <- data.frame(animal = c("Z", "Y", "X", "W"), sire = c(NA, NA, "Z", "Z"),
                      dam = c(NA, NA, "Y", "Y"), sex = c("M", "F", "M", NA))
  mk <- mean_kinship(as_pedigree(frame, sex = "sex"))
  expect_identical(mk$sex[match(c("Z", "Y", "W"), mk$id)], c("M", "F", NA))
  made <- random_pedigree(90L, 5L)
  ped <- as_pedigree(made$df)
  expect_identical(toupper(purging(ped)$purging$id), toupper(pedigree_ids(ped)))
})

test_that("decompose_inbreeding leaves stats::decompose unmasked", {
  expect_false("decompose" %in% getNamespaceExports("kinvar"))
  expect_true("decompose_inbreeding" %in% getNamespaceExports("kinvar"))
  series <- ts(rep(c(1, 3, 2, 5), 6), frequency = 4)
  expect_s3_class(decompose(series), "decomposed.ts")
  out <- decompose_inbreeding(herd(), group = 3, coancestry = TRUE)
  expect_true(all(c("summary", "decomposition") %in% names(out)))
})

# The same table sits in python/tests/test_conventions.py: the argument
# names each function shares between R (less ped) and Python (less self).
shared_arguments <- list(
  inbreeding = c("threads", "progress", "precision"),
  relationship = c("id1", "id2", "type", "threads", "precision"),
  relationship_matrix = c("ids", "type", "threads", "progress", "precision"),
  ainverse = c("precision", "threads", "progress"),
  x_linked = c("inverse", "threads", "progress"),
  dominance = c("group", "inverse", "min_value", "precision", "threads", "progress"),
  dii = c("precision", "threads", "progress"),
  path_counting = c("id", "group", "threads", "progress"),
  gene_origin = c("group", "threads", "progress"),
  decompose_inbreeding = c("id", "group", "coancestry", "precision", "threads", "progress"),
  diversity = c("group", "threads", "progress"),
  optimize_matings = c("sires", "dams", "contributions", "forbidden", "exact", "seed", "threads",
                       "progress"),
  purging = c("group", "purging_coefficient", "gene_drops", "all_founders", "seed", "threads",
              "progress"),
  mean_kinship = c("group", "threads", "progress"),
  mate_suitability = c("sires", "dams", "reference", "max_f", "threads", "progress"),
  optimum_contributions = c("sires", "dams", "breeding_values", "target_delta_f",
                            "target_kinship", "max_contribution", "matings", "threads",
                            "progress"),
  # The genomic functions: the genotype input's keywords first.
  genotype_qc = c("genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate",
                  "min_maf", "threads", "progress"),
  genomic_relationship = c("genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate",
                  "min_maf", "frequencies", "method", "write_g",
                           "g_format", "pairs", "threads", "progress"),
  genomic_inbreeding = c("genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate",
                  "min_maf", "frequencies", "roh_window_snps",
                         "roh_max_het", "roh_max_missing", "roh_min_share", "roh_min_snps",
                         "roh_min_length", "threads", "progress"),
  hinverse = c("genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate",
                  "min_maf", "method", "alpha", "beta", "tau", "omega", "scale",
               "precision", "threads", "progress"),
  parentage = c("genotypes", "genotype_format", "min_snp_call_rate", "min_animal_call_rate",
                  "min_maf", "exclusion_threshold", "search", "threads", "progress")
)

test_that("argument names agree with the Python module", {
  for (name in names(shared_arguments)) {
    ours <- setdiff(names(formals(getExportedValue("kinvar", name))), "ped")
    expect_setequal(ours, shared_arguments[[name]])
  }
  expect_identical(formals(ainverse)$precision, quote(c("double", "single")))
})
