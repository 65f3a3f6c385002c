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
    expect_equal(unname(as.matrix(ainverse(ped))), unname(expected), tolerance = 1e-5)
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
    triplets <- cli_table(args, "ainverse")
    recoding <- cli_table(args, "recoding")
    coded <- cli_table(args, "groups")
    ped <- read_pedigree(file, genetic_groups = made$groups, group_fractions = fractions)
    ainv <- ainverse(ped)
    id_of <- setNames(c(recoding$id, coded$id), c(recoding$code, coded$code))
    ids <- toupper(rownames(ainv))
    r <- match(id_of[triplets$row], ids)
    c <- match(id_of[triplets$col], ids)
    expect_false(anyNA(c(r, c)))
    full <- as.matrix(ainv)
    expect_identical(unname(full[cbind(r, c)]), as.numeric(triplets$value))
    # Both hold every element the rules touch, those that cancel to 0 too.
    expect_identical(length(ainv@x), nrow(triplets))
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
  triplets <- cli_table(c("x-linked", file, "--inverse"), "xlinked_inverse")
  recoding <- cli_table(c("x-linked", file, "--inverse"), "recoding")
  stored <- x_linked(read_pedigree(file), inverse = TRUE)
  sinv <- as.matrix(stored)
  id_of <- setNames(recoding$id, recoding$code)
  ids <- toupper(rownames(sinv))
  r <- match(id_of[triplets$row], ids)
  c <- match(id_of[triplets$col], ids)
  expect_false(anyNA(c(r, c)))
  expect_identical(unname(sinv[cbind(r, c)]), as.numeric(triplets$value))
  expect_identical(length(stored@x), nrow(triplets))
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
