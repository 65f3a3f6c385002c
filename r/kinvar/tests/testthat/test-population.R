# Purging, mean kinship, mate suitability and optimum contributions against
# kinvar-cli's CSV and against A computed here; the precision option.

herd_file <- function(name) system.file("extdata", name, package = "kinvar")

# Every table of a command: ours against the CLI's, by name.
expect_same_tables <- function(ours, args, label) {
  for (table in names(ours)) {
    expect_same_table(ours[[table]], in_code_order(cli_table(args, table), ours[[table]]),
                      paste(label, table))
  }
}

# The CLI lists purging's individuals in code order, R in input order.
in_code_order <- function(cli, ours) {
  if (!"code" %in% names(cli) || !"f" %in% names(cli)) return(cli)
  cli <- cli[match(toupper(ours$id), toupper(cli$id)), , drop = FALSE]
  rownames(cli) <- NULL
  cli
}

population_cases <- list(
  "the herd" = list(file = function() herd_file("herd.pdg"), group = 3L, sires = 2L, dams = 3L),
  "a random pedigree" = list(file = function() {
    made <- random_pedigree(120L, 31L, fpre = TRUE)
    write_pedigree(made$df, tempfile(fileext = ".pdg"))
  }, group = 2L, sires = 1L, dams = 3L)
)

for (name in names(population_cases)) {
  case <- population_cases[[name]]
  file <- case$file()
  ped <- read_pedigree(file)

  test_that(paste("purging agrees with kinvar-cli, gene dropping on one stream:", name), {
    skip_without_cli()
    seed <- 4242L
    ours <- purging(ped, case$group, purging_coefficient = 0.2, gene_drops = 300L, seed = seed)
    expect_named(ours, c("summary", "purging_groups", "founders", "purging", "partial_inbreeding"),
                 ignore.order = TRUE)
    expect_true(all(c("fa_gene_drop", "f_new", "f_old") %in% names(ours$purging)))
    seed_file <- mt_seed_file(seed, tempfile())
    # The CLI writes the advanced stream back: each table from a fresh file.
    for (table in names(ours)) {
      mt_seed_file(seed, seed_file)
      theirs <- cli_table(c("purging", file, case$group, "--purging-coefficient", "0.2",
                            "--gene-drop", "300", "--seed-file", seed_file), table)
      expect_same_table(ours[[table]], in_code_order(theirs, ours[[table]]), paste(name, table))
    }
  })

  test_that(paste("purging of everyone with every founder agrees with kinvar-cli:", name), {
    skip_without_cli()
    ours <- purging(ped, all_founders = TRUE)
    expect_same_tables(ours, c("purging", file, "all", "--all-founders"), name)
    # Without purging g is F, and the partial coefficients add up to F.
    expect_equal(ours$purging$g, ours$purging$f, tolerance = 1e-6)
    partial <- tapply(ours$partial_inbreeding$value, ours$partial_inbreeding$id, sum)
    f <- setNames(ours$purging$f, ours$purging$id)
    expect_equal(as.vector(partial), unname(f[names(partial)]), tolerance = 1e-5)
  })

  test_that(paste("mean kinship agrees with kinvar-cli:", name), {
    skip_without_cli()
    for (group in list(case$group, NULL)) {
      ours <- mean_kinship(ped, group)
      args <- c("mean-kinship", file, if (is.null(group)) "all" else group)
      expect_same_table(ours, cli_table(args, "mean_kinship"), name)
      expect_same_table(attr(ours, "summary"), cli_table(args, "summary"), name)
    }
  })

  test_that(paste("mate suitability agrees with kinvar-cli:", name), {
    skip_without_cli()
    ours <- mate_suitability(ped, case$sires, case$dams, reference = case$group, max_f = 0.03)
    args <- c("mate-suitability", file, case$sires, case$dams, "--reference", case$group,
              "--max-f", "0.03")
    expect_same_table(ours, cli_table(args, "mate_suitability"), name)
    expect_same_table(attr(ours, "summary"), cli_table(args, "summary"), name)
    expect_identical(ours$above_max_f, ours$offspring_f > 0.03)
  })
}

test_that("optimum contributions agree with kinvar-cli, matings file included", {
  skip_without_cli()
  file <- herd_file("herd.pdg")
  ped <- read_pedigree(file)
  ebv <- read.table(herd_file("herd-ebv.txt"), header = TRUE, comment.char = "!")
  ours <- optimum_contributions(ped, 2, 3, breeding_values = ebv, target_delta_f = 0.01,
                                matings = TRUE)
  matings_file <- tempfile(fileext = ".c")
  args <- c("optimum-contributions", file, "2", "3", "--ebv", herd_file("herd-ebv.txt"),
            "--target-delta-f", "0.01", "--matings-file", matings_file)
  expect_same_table(ours$summary, cli_table(args, "summary"), "summary")
  expect_same_table(ours$contributions, cli_table(args, "contributions"), "contributions")
  lines <- read.table(matings_file, comment.char = "!", col.names = c("sire", "matings"),
                      colClasses = c("character", "integer"))
  expect_identical(ours$sire_matings, lines)
  # A named vector gives what the data frame gives.
  again <- optimum_contributions(ped, 2, 3, breeding_values = setNames(ebv$EBV, ebv$ID),
                                 target_delta_f = 0.01, matings = TRUE)
  expect_identical(again, ours)
})

test_that("least-kinship contributions agree with kinvar-cli and minimise c'Kc", {
  skip_without_cli()
  made <- random_pedigree(90L, 32L)
  file <- write_pedigree(made$df, tempfile(fileext = ".pdg"))
  ped <- read_pedigree(file)
  ours <- optimum_contributions(ped, 1, 2, max_contribution = 0.2)
  args <- c("optimum-contributions", file, "1", "2", "--max-contribution", "0.2")
  expect_same_table(ours$contributions, cli_table(args, "contributions"), "contributions")
  c <- ours$contributions
  expect_true(all(c$contribution <= 0.2 + 1e-6))
  expect_equal(sum(c$contribution), 1, tolerance = 1e-6)
  # Kinship of the offspring, computed here from A, against the report's.
  a <- made$a
  dimnames(a) <- lapply(dimnames(a), toupper)
  a <- a[c$id, c$id]
  kinship <- drop(t(c$contribution) %*% (a / 2) %*% c$contribution)
  reported <- ours$summary$value[grepl("^Kinship of the offspring", ours$summary$figure)]
  expect_equal(as.numeric(reported), kinship, tolerance = 1e-5)
})

test_that("the sires' matings feed the mating optimization", {
  ped <- read_pedigree(herd_file("herd.pdg"))
  ebv <- read.table(herd_file("herd-ebv.txt"), header = TRUE, comment.char = "!")
  oc <- optimum_contributions(ped, 2, 3, breeding_values = ebv, target_delta_f = 0.01,
                              matings = TRUE)
  dams <- sum(pedigree_structure(ped)$groups$individuals[pedigree_structure(ped)$groups$group %in% 3])
  expect_identical(sum(oc$sire_matings$matings), as.integer(dams))
  plan <- suppressWarnings(optimize_matings(ped, 2, 3, oc$sire_matings, seed = 5))
  used <- table(factor(toupper(plan$matings$sire), levels = toupper(oc$sire_matings$sire)))
  expect_identical(as.integer(used), oc$sire_matings$matings)
})

test_that("mean kinship and mate suitability are A / 2 computed here", {
  made <- random_pedigree(70L, 33L, fpre = TRUE)
  ped <- as_pedigree(made$df, group = "group", f = "f")
  k <- made$a / 2
  mk <- mean_kinship(ped, 2)
  members <- made$df$animal[made$df$group == 2]
  expect_setequal(mk$id, members)
  expect_equal(mk$mk, unname(rowMeans(k[mk$id, members])), tolerance = 1e-6)
  expect_identical(mk$rank, seq_len(nrow(mk)))
  expect_false(is.unsorted(mk$mk))
  pairs <- mate_suitability(ped, 1, 3)
  expect_equal(pairs$offspring_f, unname(k[cbind(pairs$sire, pairs$dam)]), tolerance = 1e-6)
  # Pairs within the bound on F first, most gene diversity first; those
  # above it after them, the least inbred offspring first.
  within <- !pairs$above_max_f
  expect_false(is.unsorted(within[length(within):1]))
  expect_false(is.unsorted(rev(pairs$delta_gd[within])))
  expect_false(is.unsorted(pairs$offspring_f[!within]))
})

precision_line <- full_sib_line(40L)

test_that("double precision changes the inverse of a 40-generation full-sib line", {
  ped <- as_pedigree(precision_line, group = "group")
  single <- ainverse(ped, precision = "single")
  double <- ainverse(ped, precision = "double")
  expect_false(identical(single@x, double@x))
  expect_identical(single@i, double@i)
  # The single call after a double one is single again.
  expect_identical(ainverse(ped, precision = "single")@x, single@x)
  f <- inbreeding(ped, precision = "double")$f
  a <- tabular_a(match(precision_line$sire, precision_line$animal, 0L),
                 match(precision_line$dam, precision_line$animal, 0L))
  expect_equal(f, diag(a) - 1, tolerance = 1e-13)
  # Double is close to solve(A) where single has lost the digits of D.
  exact <- solve(a)
  err <- function(m) max(abs(as.matrix(m) - exact))
  expect_lt(err(double), err(single))
  expect_lt(err(double), 1e-3 * max(abs(exact)))
})

test_that("double precision is kinvar-cli --precision double", {
  skip_without_cli()
  file <- write_pedigree(precision_line, tempfile(fileext = ".pdg"))
  ped <- read_pedigree(file)
  double <- c("--precision", "double")
  expect_same_table(inbreeding(ped, precision = "double"),
                    cli_table(c("inbreeding", file, double), "inbreeding"), "F")
  expect_same_table(dii(ped, precision = "double"), cli_table(c("dii", file, double), "dii"), "dii")
  expect_same_table(decompose_inbreeding(ped, group = 41, precision = "double")$decomposition,
                    cli_table(c("decompose", file, "group", "41", double), "decomposition"),
                    "decompose")
  expect_same_table(relationships(ped, group = 41, precision = "double"),
                    cli_table(c("relationships", file, "within", "41", double), "pairs"), "pairs")
  triplets <- cli_table(c("inverse", file, double), "ainverse")
  recoding <- cli_table(c("inverse", file, double), "recoding")
  full <- as.matrix(ainverse(ped, precision = "double"))
  ids <- toupper(pedigree_ids(ped))
  id_of <- setNames(recoding$id, recoding$code)
  cells <- cbind(match(id_of[triplets$row], ids), match(id_of[triplets$col], ids))
  expect_identical(unname(full[cells]), as.numeric(triplets$value))
  expect_identical(sum(full[lower.tri(full, diag = TRUE)] != 0), nrow(triplets))
})

input_cases <- list(
  "negative gene drops" = function(ped) purging(ped, gene_drops = -1),
  "fractional gene drops" = function(ped) purging(ped, gene_drops = 1.5),
  "coefficient as text" = function(ped) purging(ped, purging_coefficient = "0.2"),
  "seed out of range" = function(ped) purging(ped, seed = -3),
  "two groups" = function(ped) mean_kinship(ped, c(2, 3)),
  "max_f missing" = function(ped) mate_suitability(ped, 2, 3, max_f = NA),
  "both targets" = function(ped) {
    optimum_contributions(ped, 2, 3, c(B1 = 1), target_delta_f = 0.01, target_kinship = 0.3)
  },
  "unnamed values" = function(ped) optimum_contributions(ped, 2, 3, c(1, 2)),
  "values as text" = function(ped) {
    optimum_contributions(ped, 2, 3, data.frame(id = "B1", value = "high"))
  },
  "an unknown precision" = function(ped) inbreeding(ped, precision = "quad")
)

for (name in names(input_cases)) {
  test_that(paste("refused before the library:", name), {
    ped <- read_pedigree(herd_file("herd.pdg"))
    expect_error(input_cases[[name]](ped))
  })
}

library_refusals <- list(
  "a group that is not there" = function(ped) mean_kinship(ped, 9),
  "an unreachable maximum" = function(ped) optimum_contributions(ped, 2, 3, max_contribution = 0.01)
)

for (name in names(library_refusals)) {
  test_that(paste("the library refuses:", name), {
    ped <- read_pedigree(herd_file("herd.pdg"))
    expect_error(library_refusals[[name]](ped), class = "kinvar_error")
    expect_s3_class(mean_kinship(ped, 3), "data.frame")
  })
}

test_that("a planned mating agrees with kinvar-cli and halves the parents' relationship", {
  ped <- read_pedigree(system.file("extdata", "herd.pdg", package = "kinvar"))
  m <- planned_mating(ped, "c3", "B3", top = 4)
  expect_s3_class(m, "kinvar_mating")
  figures <- setNames(m$summary$value, m$summary$figure)
  f <- relationship(ped, "C3", "B3") / 2
  expect_equal(figures[["Offspring F"]], f, tolerance = 1e-6)
  expect_equal(sum(m$common_ancestors$part_of_f), f, tolerance = 1e-6)
  expect_false(is.unsorted(m$best_sires$offspring_f))
  skip_without_cli()
  file <- system.file("extdata", "herd.pdg", package = "kinvar")
  args <- c("mating", file, "C3", "B3", "--top", "4")
  expect_same_table(m$best_sires, cli_table(args, "best_sires"), "best sires")
  expect_same_table(m$common_ancestors, cli_table(args, "common_ancestors"), "common ancestors")
  new <- planned_mating(ped, "NEW", "B3", sire_parents = c("B4", "C1"), candidates = 2)
  expect_same_table(new$best_sires,
                    cli_table(c("mating", file, "NEW", "B3", "--sire-parents", "B4", "C1",
                                "--candidates", "2"), "best_sires"), "new sire")
})

test_that("a planned mating refuses a dam as the sire, and an unknown parent gives F = 0", {
  ped <- read_pedigree(system.file("extdata", "herd.pdg", package = "kinvar"))
  expect_error(planned_mating(ped, "B2", "B3"),
               "B2 is a dam in the pedigree and cannot be the sire", fixed = TRUE)
  unknown <- planned_mating(ped, NULL, "B3", top = 0)
  expect_equal(unknown$summary$value[unknown$summary$figure == "Offspring F"], 0)
  expect_error(planned_mating(ped, "C3", "B3", sire_parents = "B4"), "two IDs")
})
