# The matrices for mixed models beyond A^-1: the inverse with genetic groups
# against Quaas's augmented inverse and kinvar-cli, and the X-linked S
# against its tabular rules.

# Rows I1..In, sires at odd positions and dams at even ones; an unknown
# parent is often a group, sometimes spread over two groups by fractions.
# Q holds each individual's expected share of each group's genes.
grouped_pedigree <- function(n, seed, fuzzy, groups = c("gA", "Gb", "GC")) {
  set.seed(seed)
  g <- length(groups)
  ids <- sprintf("I%d", seq_len(n))
  sire <- dam <- integer(n)
  cells <- list(sire = rep("0", n), dam = rep("0", n))
  fractions <- data.frame(individual = character(), parent = character(), group = character(),
                          fraction = double())
  q <- matrix(0, n, g)
  for (i in seq_len(n)) {
    for (role in c("sire", "dam")) {
      earlier <- seq_len(i - 1L)
      earlier <- earlier[earlier %% 2L == (if (role == "sire") 1L else 0L)]
      kind <- runif(1)
      if (kind < 0.5 && length(earlier)) {
        p <- earlier[sample.int(length(earlier), 1L)]
        if (role == "sire") sire[i] <- p else dam[i] <- p
        cells[[role]][i] <- ids[p]
        q[i, ] <- q[i, ] + 0.5 * q[p, ]
      } else if (kind < 0.8) {
        k <- sample.int(g, 1L)
        cells[[role]][i] <- toupper(groups[k])
        q[i, k] <- q[i, k] + 0.5
      } else if (kind < 0.9 && fuzzy) {
        k <- sample.int(g, 2L)
        share <- sample(c(0.25, 0.5, 0.75), 1L)
        fractions <- rbind(fractions, data.frame(individual = ids[i], parent = role,
                                                 group = groups[k], fraction = c(share, 1 - share)))
        q[i, k] <- q[i, k] + 0.5 * c(share, 1 - share)
      }
    }
  }
  a <- tabular_a(sire, dam)
  dimnames(a) <- list(ids, ids)
  list(df = data.frame(animal = ids, sire = cells$sire, dam = cells$dam), a = a, q = q,
       groups = groups, fractions = fractions)
}

# Quaas (1988): [A^-1, -A^-1 Q; -Q'A^-1, Q'A^-1 Q].
quaas_inverse <- function(made) {
  ainv <- solve(made$a)
  aq <- ainv %*% made$q
  rbind(cbind(ainv, -aq), cbind(-t(aq), t(made$q) %*% aq))
}

group_cases <- list(
  "plain groups" = list(n = 25L, seed = 31L, fuzzy = FALSE),
  "fuzzy groups" = list(n = 40L, seed = 32L, fuzzy = TRUE),
  "deeper" = list(n = 120L, seed = 33L, fuzzy = TRUE)
)

for (name in names(group_cases)) {
  case <- group_cases[[name]]
  made <- grouped_pedigree(case$n, case$seed, case$fuzzy)
  fractions <- if (case$fuzzy) made$fractions else NULL

  test_that(paste("ainverse with groups is Quaas's augmented inverse:", name), {
    ped <- as_pedigree(made$df, genetic_groups = made$groups, group_fractions = fractions)
    expected <- quaas_inverse(made)
    ainv <- ainverse(ped, precision = "double")
    expect_s4_class(ainv, "dsCMatrix")
    expect_true(methods::validObject(ainv))
    expect_identical(dimnames(ainv), list(c(made$df$animal, made$groups),
                                          c(made$df$animal, made$groups)))
    expect_equal(unname(as.matrix(ainv)), unname(expected), tolerance = 1e-9)
    expect_equal(unname(as.matrix(ainverse(ped, precision = "single"))), unname(expected), tolerance = 1e-5)
    # Groups are unknown parents to F.
    expect_equal(inbreeding(ped)$f, unname(diag(made$a)) - 1, tolerance = 1e-6)
  })

  test_that(paste("kinvar-cli agrees on the inverse with groups:", name), {
    skip_without_cli()
    file <- write_pedigree(made$df, tempfile(fileext = ".pdg"))
    groups_file <- tempfile(fileext = ".txt")
    writeLines(made$groups, groups_file)
    args <- c("inverse", file, "--genetic-groups", groups_file)
    if (case$fuzzy) {
      fractions_file <- tempfile(fileext = ".txt")
      writeLines(sprintf("%s %s %s %s", fractions$individual, fractions$parent, fractions$group,
                         format(fractions$fraction)), fractions_file)
      args <- c(args, "--group-fractions", fractions_file)
    }
    ped <- read_pedigree(file, genetic_groups = made$groups, group_fractions = fractions)
    # Both hold every element the rules touch, those that cancel to 0 too.
    expect_cli_triplets(ainverse(ped, precision = "single"), args, "ainverse", groups = TRUE)
  })
}

test_that("group options are checked and refused with the library's reason", {
  df <- data.frame(animal = c("A", "B", "C"), sire = c("0", "G1", "A"), dam = c("0", "G2", "B"))
  refusals <- list(
    "a group with a row" = list(groups = c("G1", "A"), fractions = NULL,
                                message = "A is a genetic group and has a line of its own."),
    "fractions without groups" = list(groups = NULL,
                                      fractions = data.frame(individual = "B", parent = "sire",
                                                             group = "G1", fraction = 1),
                                      message = "Group fractions need genetic groups."),
    "a known parent" = list(groups = c("G1", "G2"),
                            fractions = data.frame(individual = "C", parent = "dam",
                                                   group = "G1", fraction = 1),
                            message = "Row 1 of the group fractions: the dam of C is known."),
    "short of 1" = list(groups = c("G1", "G2"),
                        fractions = data.frame(individual = "B", parent = "sire",
                                               group = "G1", fraction = 0.5),
                        message = "The fractions of the sire of B do not sum to 1.")
  )
  for (what in names(refusals)) {
    case <- refusals[[what]]
    err <- tryCatch(as_pedigree(df, genetic_groups = case$groups, group_fractions = case$fractions),
                    kinvar_refused = function(e) e)
    expect_s3_class(err, "kinvar_refused")
    expect_identical(conditionMessage(err), case$message, label = what)
  }
  expect_error(as_pedigree(df, genetic_groups = "G1", group_fractions = data.frame(id = "B")),
               "'group_fractions' must be a data frame")
})

# S by its tabular rules over rows listed parents first; male a logical.
tabular_s <- function(sire, dam, male) {
  n <- length(sire)
  s <- matrix(0, n, n)
  at <- function(x, p) if (p > 0) s[x, p] else 0
  for (y in seq_len(n)) {
    for (x in seq_len(y - 1L)) {
      v <- if (male[y]) at(x, dam[y]) else 0.5 * (at(x, sire[y]) + at(x, dam[y]))
      s[x, y] <- v
      s[y, x] <- v
    }
    s[y, y] <- if (male[y]) 1 else 0.5 * (1 + (if (sire[y] > 0 && dam[y] > 0) s[sire[y], dam[y]] else 0))
  }
  s
}

sexed_pedigree <- function(n, seed) {
  set.seed(seed)
  male <- rep_len(c(TRUE, FALSE), n)
  sire <- dam <- integer(n)
  for (i in seq_len(n)[-1L]) {
    earlier <- seq_len(i - 1L)
    pick <- function(x) if (length(x) == 0L || runif(1) < 0.2) 0L else x[sample.int(length(x), 1L)]
    sire[i] <- pick(earlier[male[earlier]])
    dam[i] <- pick(earlier[!male[earlier]])
  }
  ids <- sprintf("x%d", seq_len(n))
  df <- data.frame(animal = ids, sire = ifelse(sire > 0, ids[pmax(sire, 1L)], NA),
                   dam = ifelse(dam > 0, ids[pmax(dam, 1L)], NA), sex = ifelse(male, "M", "F"))
  s <- tabular_s(sire, dam, male)
  dimnames(s) <- list(ids, ids)
  list(df = df, s = s)
}

for (seed in 41:43) {
  test_that(paste("x_linked is S by its rules, and its inverse inverts it: seed", seed), {
    made <- sexed_pedigree(20L + 15L * (seed - 41L), seed)
    ped <- as_pedigree(made$df, sex = "sex")
    s <- x_linked(ped)
    sinv <- x_linked(ped, inverse = TRUE)
    expect_s4_class(s, "dsCMatrix")
    expect_true(methods::validObject(sinv))
    expect_identical(dimnames(s), dimnames(made$s))
    expect_identical(dimnames(sinv), dimnames(made$s))
    expect_equal(as.matrix(s), made$s, tolerance = 1e-6)
    identity <- diag(nrow(made$s))
    expect_equal(unname(as.matrix(s %*% sinv)), identity, tolerance = 1e-4)
  })
}

test_that("kinvar-cli agrees on the X-linked inverse", {
  skip_without_cli()
  made <- sexed_pedigree(60L, 44L)
  file <- write_pedigree(made$df, tempfile(fileext = ".pdg"))
  expect_cli_triplets(x_linked(read_pedigree(file), inverse = TRUE), c("x-linked", file, "--inverse"),
                      "xlinked_inverse")
})

test_that("x_linked refuses an individual of unknown sex", {
  df <- data.frame(animal = c("A", "B", "C", "Z"), sire = c(NA, NA, "A", NA),
                   dam = c(NA, NA, "B", NA))
  ped <- as_pedigree(df)
  for (inverse in c(FALSE, TRUE)) {
    err <- tryCatch(x_linked(ped, inverse = inverse), kinvar_refused = function(e) e)
    expect_s3_class(err, "kinvar_refused")
    expect_identical(conditionMessage(err), paste0(
      "The sex of Z is unknown: X-linked relationships need the sex of every individual ",
      "(a Sex column, or its role as a parent)."))
  }
  # The pedigree stays usable.
  expect_equal(nrow(inbreeding(ped)), 4L)
})

# Rows M1..Mn, sires at odd positions and dams at even ones; an unknown
# parent is mostly one of the metafounders, sometimes plain unknown. Gamma
# is a random positive definite matrix; A^Gamma comes by the tabular method
# over the pedigree augmented with the metafounders, placed after the
# individuals.
metafounder_pedigree <- function(n, seed, names = c("mf1", "MF2", "Mf3")) {
  set.seed(seed)
  g <- length(names)
  b <- matrix(runif(g * g), g)
  # Multiples of 1/256, which the library's 32-bit floats hold exactly.
  gamma <- round((tcrossprod(b) / g + 0.05 * diag(g)) * 256) / 256
  ids <- sprintf("M%d", seq_len(n))
  cells <- list(sire = rep("0", n), dam = rep("0", n))
  m <- n + g
  parent <- matrix(0L, n, 2L)  # augmented positions, 0 unknown
  for (i in seq_len(n)) {
    for (role in 1:2) {
      earlier <- seq_len(i - 1L)
      earlier <- earlier[earlier %% 2L == (if (role == 1L) 1L else 0L)]
      kind <- runif(1)
      if (kind < 0.5 && length(earlier)) {
        p <- earlier[sample.int(length(earlier), 1L)]
        cells[[role]][i] <- ids[p]
        parent[i, role] <- p
      } else if (kind < 0.9) {
        k <- sample.int(g, 1L)
        cells[[role]][i] <- names[k]
        parent[i, role] <- n + k
      }
    }
  }
  a <- matrix(0, m, m)
  a[n + seq_len(g), n + seq_len(g)] <- gamma
  at <- function(p, j) if (p > 0) a[p, j] else 0
  for (i in seq_len(n)) {
    for (j in c(seq_len(i - 1L), n + seq_len(g))) {
      a[i, j] <- a[j, i] <- 0.5 * (at(parent[i, 1L], j) + at(parent[i, 2L], j))
    }
    a[i, i] <- 1 + (if (parent[i, 2L] > 0) 0.5 * at(parent[i, 1L], parent[i, 2L]) else 0)
  }
  dimnames(a) <- list(c(ids, names), c(ids, names))
  upper <- which(upper.tri(gamma, diag = TRUE), arr.ind = TRUE)
  rows <- data.frame(group1 = names[upper[, 1L]], group2 = names[upper[, 2L]],
                     value = gamma[upper])
  list(df = data.frame(animal = ids, sire = cells$sire, dam = cells$dam), a = a, n = n,
       names = names, metafounders = rows[sample.int(nrow(rows)), ])
}

for (seed in 51:53) {
  test_that(paste("metafounders give F, relationships and A^Gamma inverse of the tabular A^Gamma: seed",
                  seed), {
    made <- metafounder_pedigree(20L + 20L * (seed - 51L), seed)
    ped <- as_pedigree(made$df, metafounders = made$metafounders)
    n <- made$n
    ids <- made$df$animal
    expect_equal(inbreeding(ped)$f, unname(diag(made$a))[seq_len(n)] - 1, tolerance = 1e-6)
    expect_equal(relationship_matrix(ped, ids), made$a[ids, ids], tolerance = 1e-6,
                 check.attributes = FALSE)
    expect_equal(relationship(ped, ids[1], ids[n]), made$a[1, n], tolerance = 1e-6)
    ainv <- ainverse(ped, precision = "double")
    # The metafounders in the order their rows first name them.
    named <- unique(as.vector(rbind(made$metafounders$group1, made$metafounders$group2)))
    expect_identical(rownames(ainv), c(ids, named))
    expected <- solve(made$a)[rownames(ainv), rownames(ainv)]
    expect_equal(as.matrix(ainv), expected, tolerance = 1e-8)
    expect_equal(as.matrix(ainverse(ped, precision = "single")), expected, tolerance = 1e-4)
  })
}

test_that("kinvar-cli agrees on F and the inverse with metafounders", {
  skip_without_cli()
  made <- metafounder_pedigree(60L, 54L)
  file <- write_pedigree(made$df, tempfile(fileext = ".pdg"))
  gamma_file <- tempfile(fileext = ".txt")
  writeLines(sprintf("%s %s %s", made$metafounders$group1, made$metafounders$group2,
                     format(made$metafounders$value, digits = 15)), gamma_file)
  ped <- read_pedigree(file, metafounders = made$metafounders)
  expect_same_table(inbreeding(ped),
                     cli_table(c("inbreeding", file, "--metafounders", gamma_file), "inbreeding"))
  args <- c("inverse", file, "--metafounders", gamma_file)
  expect_cli_triplets(ainverse(ped, precision = "single"), args, "ainverse", groups = TRUE)
})

test_that("a founder of one metafounder has half its Gamma as F", {
  df <- data.frame(animal = c("A", "B", "C"), sire = c("MF1", "MF1", "A"), dam = c("MF1", "mf2", "B"))
  gamma <- data.frame(group1 = c("MF1", "MF2", "MF2"), group2 = c("MF1", "MF1", "MF2"),
                      value = c(0.4, 0.1, 0.6))
  ped <- as_pedigree(df, metafounders = gamma)
  # 0.4 / 2, 0.1 / 2, and half of a(A, B) = (0.4 + 0.1 + 0.4 + 0.1) / 4.
  expect_equal(inbreeding(ped)$f, c(0.2, 0.05, 0.125))
  expect_equal(relationship(ped, "A", "B"), 0.25, tolerance = 1e-7)
})

test_that("metafounders are refused with groups, and commands without them refuse", {
  df <- data.frame(animal = c("A", "B", "C"), sire = c("0", "G1", "A"), dam = c("0", "G2", "B"))
  gamma <- data.frame(group1 = c("G1", "G2"), group2 = c("G1", "G2"), value = c(0.5, 0.5))
  refusals <- list(
    "with groups" = list(call = function() as_pedigree(df, genetic_groups = "G1", metafounders = gamma),
                         message = "Metafounders cannot be used with genetic groups or group fractions."),
    "a pair twice" = list(call = function() as_pedigree(df, metafounders = rbind(gamma, gamma)),
                          message = "Row 3 of the metafounders: the pair G1 G1 is given twice."),
    "no diagonal" = list(call = function() as_pedigree(df, metafounders = data.frame(
                           group1 = "G1", group2 = c("G1", "G2"), value = c(0.5, 0.1))),
                         message = "The metafounders file gives no value of G2 with itself."),
    "dominance" = list(call = function() dominance(as_pedigree(df, metafounders = gamma)),
                       message = paste("This command does not take metafounders into account.",
                                       "Open the pedigree again to use it without them.")),
    "a singular Gamma's inverse" = list(
      call = function() ainverse(as_pedigree(df, metafounders = transform(gamma, value = 0))),
      message = paste("The metafounders' relationships are singular: the inverse of A with",
                      "metafounders needs them positive definite."))
  )
  for (what in names(refusals)) {
    err <- tryCatch(refusals[[what]]$call(), kinvar_refused = function(e) e)
    expect_s3_class(err, "kinvar_refused")
    expect_identical(conditionMessage(err), refusals[[what]]$message, label = what)
  }
  expect_error(as_pedigree(df, metafounders = gamma[, 1:2]), "'metafounders' must be a data frame")
})

# d_ij = (a(s_i, s_j) a(d_i, d_j) + a(s_i, d_j) a(d_i, s_j)) / 4 off the
# diagonal, 1 on it; parents by position (0 unknown).
formula_d <- function(a, sire, dam) {
  n <- length(sire)
  at <- function(x, y) if (x > 0 && y > 0) a[x, y] else 0
  d <- diag(n)
  for (i in seq_len(n)) for (j in seq_len(n)) if (i != j) {
    d[i, j] <- 0.25 * (at(sire[i], sire[j]) * at(dam[i], dam[j]) +
                       at(sire[i], dam[j]) * at(dam[i], sire[j]))
  }
  d
}

test_that("dominance of full sibs is a quarter, of double first cousins a sixteenth", {
  df <- data.frame(animal = c("G1", "G2", "G3", "G4", "s1", "S2", "D1", "D2", "C1", "C2"),
                   sire = c(NA, NA, NA, NA, "G1", "G1", "G3", "G3", "s1", "S2"),
                   dam = c(NA, NA, NA, NA, "G2", "G2", "G4", "G4", "D1", "D2"))
  ped <- as_pedigree(df)
  d <- dominance(ped)
  expect_s4_class(d, "dsCMatrix")
  expect_identical(rownames(d), df$animal)
  expect_identical(d["s1", "S2"], 0.25)
  expect_identical(d["D1", "D2"], 0.25)
  expect_identical(d["C1", "C2"], 0.0625)
  expect_identical(d["s1", "C1"], 0)
  expect_identical(length(d@x), nrow(df) + 3L)
  dinv <- dominance(ped, inverse = TRUE)
  expect_equal(unname(as.matrix(d %*% dinv)), diag(nrow(df)), tolerance = 1e-6)
  # A group's members only, and small elements left out.
  expect_identical(length(dominance(ped, min_value = 0.1)@x), nrow(df) + 2L)
})

for (seed in 61:63) {
  test_that(paste("dominance is the formula on the tabular A and inverts: seed", seed), {
    made <- random_pedigree(40L + 20L * (seed - 61L), seed, missing_rows = 0L)
    ids <- rownames(made$a)
    position <- function(p) ifelse(is.na(p) | p == "0", 0L, match(p, ids))
    sire <- position(made$df$sire[match(ids, made$df$animal)])
    dam <- position(made$df$dam[match(ids, made$df$animal)])
    ped <- as_pedigree(made$df, group = "group")
    expected <- formula_d(made$a, sire, dam)
    dimnames(expected) <- list(ids, ids)
    d <- dominance(ped, precision = "double")
    expect_setequal(rownames(d), ids)
    expect_identical(rownames(d), pedigree_ids(ped))
    expect_equal(as.matrix(d), expected[rownames(d), rownames(d)], tolerance = 1e-9)
    members <- made$df$animal[made$df$group == 2L]
    in_group <- dominance(ped, group = 2L)
    expect_identical(rownames(in_group), pedigree_ids(ped)[pedigree_ids(ped) %in% members])
    expect_equal(as.matrix(in_group), expected[rownames(in_group), rownames(in_group)],
                 tolerance = 1e-6)
    inverse <- tryCatch(dominance(ped, group = 2L, inverse = TRUE), kinvar_refused = function(e) NULL)
    if (!is.null(inverse)) {
      expect_equal(unname(as.matrix(in_group %*% inverse)), diag(nrow(inverse)), tolerance = 1e-3)
    }
  })
}

test_that("kinvar-cli agrees on the dominance triplets", {
  skip_without_cli()
  made <- random_pedigree(80L, 64L, missing_rows = 0L)
  file <- write_pedigree(made$df, tempfile(fileext = ".pdg"))
  expect_cli_triplets(dominance(read_pedigree(file)), c("dominance", file, "--triplets"), "dominance")
})

test_that("dominance refusals carry the library's reason", {
  df <- data.frame(animal = c("A", "B", "C"), sire = c(NA, NA, "A"), dam = c(NA, NA, "B"),
                   group = c(1L, 1L, 2L))
  ped <- as_pedigree(df, group = "group")
  err <- tryCatch(dominance(ped, group = 7), kinvar_refused = function(e) e)
  expect_identical(conditionMessage(err), "Group \"7\" is not in the pedigree.")
  err <- tryCatch(dominance(ped, min_value = -1), kinvar_refused = function(e) e)
  expect_identical(conditionMessage(err), "The smallest value must be a number of 0 or more.")
  expect_error(dominance(ped, min_value = "a"), "'min_value' must be one number")
})
