# Every ID column of a result comes back in the type the caller's IDs had.

id_frame <- function(id, sire, dam) data.frame(animal = id, sire = sire, dam = dam)

test_that("ID columns keep the type of the caller's IDs", {
  rows <- list(
    list(name = "integer", frame = id_frame(c(10L, 11L, 12L, 13L), c(NA, 0L, 10L, 12L),
                                            c(NA, NA, 11L, 5L)),
         id = c(10L, 11L, 12L, 13L, 5L), sire = c(NA, NA, 10L, 12L, NA)),
    list(name = "numeric", frame = id_frame(c(10, 11, 12, 13), c(NA, 0, 10, 12), c(NA, NA, 11, 5)),
         id = c(10, 11, 12, 13, 5), sire = c(NA, NA, 10, 12, NA)),
    list(name = "large numeric", frame = id_frame(c(3e9, 3e9 + 1, 3e9 + 2), c(NA, NA, 3e9),
                                                  c(NA, NA, 3e9 + 1)),
         id = c(3e9, 3e9 + 1, 3e9 + 2), sire = c(NA, NA, 3e9)),
    list(name = "negative integer", frame = id_frame(c(-1L, -2L, 7L), c(NA, NA, -1L), c(NA, NA, -2L)),
         id = c(-1L, -2L, 7L), sire = c(NA, NA, -1L)),
    list(name = "factor", frame = id_frame(factor(c("b7", "a3", "C9")), factor(c(NA, NA, "b7")),
                                           factor(c(NA, NA, "a3"))),
         id = c("b7", "a3", "C9"), sire = c(NA, NA, "b7")),
    list(name = "factor of numbers", frame = id_frame(factor(c(7L, 3L, 9L)), factor(c(NA, NA, 7L)),
                                                      factor(c(NA, NA, 3L))),
         id = c("7", "3", "9"), sire = c(NA, NA, "7")),
    list(name = "character", frame = id_frame(c("10", "11", "12"), c(NA, NA, "10"), c(NA, NA, "11")),
         id = c("10", "11", "12"), sire = c(NA, NA, "10")),
    # A parent given as text among integer IDs: the table's IDs stay text,
    # all of its ID columns alike.
    list(name = "integer IDs, a parent as text",
         frame = data.frame(animal = c(10L, 11L, 12L), sire = c(NA, NA, "X7"), dam = c(NA, NA, 11L)),
         id = c("10", "11", "12", "X7"), sire = c(NA, NA, "X7", NA)))
  for (row in rows) {
    f <- inbreeding(as_pedigree(row$frame))
    expect_identical(f$id, row$id, label = row$name)
    expect_identical(f$sire, row$sire, label = row$name)
    expect_identical(typeof(f$dam), typeof(row$id), label = row$name)
  }
})

test_that("integer IDs stay integers in other results and in an extract", {
  df <- id_frame(c(1L, 2L, 3L, 4L, 5L), c(NA, NA, 1L, 1L, 3L), c(NA, NA, 2L, 2L, 4L))
  ped <- as_pedigree(df)
  pairs <- relationships(ped, ids = c(3L, 4L, 5L))
  expect_type(pairs[[1]], "integer")
  expect_type(pairs[[2]], "integer")
  ancestors <- extract(ped, ancestors_of = 5L)
  expect_identical(inbreeding(ancestors)$id, c(1L, 2L, 3L, 4L, 5L))
  expect_identical(inbreeding(ped)$f, c(0, 0, 0, 0, 0.25))
})

test_that("a file's IDs stay text even where they are digits", {
  path <- tempfile(fileext = ".csv")
  on.exit(unlink(path))
  writeLines(c("Progeny,Sire,Dam", "1,0,0", "2,0,0", "3,1,2"), path)
  f <- inbreeding(read_pedigree(path))
  expect_identical(f$id, c("1", "2", "3"))
})

# Each individual's first spelling (row by row; in a row the individual,
# then its sire, then its dam), by its upper-case ID, written independently
# of the package.
first_spellings <- function(df, unknown = character()) {
  cells <- trimws(as.vector(t(as.matrix(data.frame(lapply(df[1:3], as.character))))))
  cells <- cells[!is.na(cells) & cells != "" & !grepl("^0+$", cells) & !toupper(cells) %in% unknown]
  key <- toupper(cells)
  keep <- !duplicated(key)
  stats::setNames(cells[keep], key[keep])
}

# The id, sire and dam columns of `f` against the rows of `df`: each cell
# as its individual was first spelled, NA for an unknown parent; then the
# parents without a row of their own (in any order), without parents.
expect_first_spellings <- function(f, df, unknown = character(), label = "") {
  first <- first_spellings(df, unknown)
  spelled <- function(x) {
    x <- trimws(as.character(x))
    out <- unname(first[toupper(x)])
    out[is.na(x) | x == "" | grepl("^0+$", x) | toupper(x) %in% unknown] <- NA_character_
    out
  }
  rows <- seq_len(nrow(df))
  expect_identical(f$id[rows], spelled(df[[1]]), label = paste(label, "id"))
  expect_identical(f$sire[rows], spelled(df[[2]]), label = paste(label, "sire"))
  expect_identical(f$dam[rows], spelled(df[[3]]), label = paste(label, "dam"))
  added <- setdiff(unname(first), c(f$id[rows], unname(first[toupper(unknown)])))
  expect_identical(sort(f$id[-rows]), sort(added), label = paste(label, "added parents"))
  expect_true(all(is.na(f$sire[-rows]) & is.na(f$dam[-rows])), label = paste(label, "their parents"))
}

test_that("ID columns give every individual its first spelling", {
  gamma <- data.frame(group1 = c("m1", "m1", "M2"), group2 = c("m1", "m2", "m2"),
                      value = c(0.2, 0.05, 0.1))
  rows <- list(
    list(name = "two letter cases", frame = id_frame(c("ab", "cd", "EF", "Gh"), c(NA, "AB", "ab", "cd"),
                                                     c(NA, NA, "x9", "X9"))),
    list(name = "upper case first", frame = id_frame(c("AB", "cd", "ef"), c(NA, "ab", "Ab"),
                                                     c(NA, NA, "CD"))),
    list(name = "unknown-parent codes and blanks",
         frame = id_frame(c("ab", " cd", "ef ", "gH"), c("0", "", "AB", "000"), c(NA, "00", " cD ", "Ef"))),
    list(name = "parents named only as parents",
         frame = id_frame(c("k1", "k2"), c("s1", "S1"), c("d1", "d2"))),
    list(name = "factors", frame = id_frame(factor(c("ab", "cd", "EF")), factor(c(NA, "AB", "ab")),
                                            factor(c(NA, "x9", "X9")))),
    list(name = "genetic groups", frame = id_frame(c("ab", "cd", "EF", "gh"), c("g1", "AB", "ab", "cd"),
                                                   c("0", "G1", NA, "x9")),
         load = list(genetic_groups = "G1"), unknown = "G1"),
    list(name = "metafounders", frame = id_frame(c("ab", "cd", "EF", "Gh"), c("M1", "AB", "ab", "cd"),
                                                 c("m2", "m2", "x8", "x9")),
         load = list(metafounders = gamma), unknown = c("M1", "M2")))
  for (row in rows) {
    unknown <- if (is.null(row$unknown)) character() else row$unknown
    ped <- do.call(as_pedigree, c(list(row$frame), row$load))
    f <- inbreeding(ped)
    expect_first_spellings(f, row$frame, unknown, row$name)
    expect_identical(pedigree_ids(ped), f$id, label = row$name)
  }
})

test_that("random frames give every individual its first spelling", {
  set.seed(7)
  for (trial in 1:20) {
    n <- sample(20:400, 1)
    base <- sprintf("AN%dX%d", seq_len(n), sample(1e6, n))
    k <- seq_len(n)
    # Sires of odd number, dams of even, from the ten before.
    pick <- function(sex) {
      parent <- vapply(k, function(i) {
        near <- k[k < i & k >= i - 10 & k %% 2 == sex]
        if (i <= 5 || length(near) == 0L || runif(1) < 0.1) "0" else base[near[sample.int(length(near), 1L)]]
      }, "")
      parent[runif(n) < 0.05] <- NA
      parent
    }
    frame <- id_frame(base, pick(1), pick(0))
    # Founders without rows of their own, and letters in lower case now and then.
    frame <- frame[-sample(which(k <= 5), 2), ]
    recase <- function(x) {
      lower <- !is.na(x) & runif(length(x)) < 0.3
      x[lower] <- sub("X", "x", tolower(x[lower]))
      x
    }
    frame[] <- lapply(frame, recase)
    if (trial %% 2 == 0) frame[] <- lapply(frame, factor)
    expect_first_spellings(inbreeding(as_pedigree(frame)), frame, label = paste("trial", trial))
  }
})

test_that("IDs in another encoding come back as UTF-8", {
  df <- id_frame(iconv(c("\u00c4ngel", "b"), "UTF-8", "latin1"), c(NA, iconv("\u00c4ngel", "UTF-8", "latin1")),
                 c(NA, NA))
  f <- inbreeding(as_pedigree(df))
  expect_identical(f$id, c("\u00c4ngel", "b"))
  expect_identical(f$sire, c(NA, "\u00c4ngel"))
  expect_identical(Encoding(f$id), c("UTF-8", "unknown"))
  expect_identical(Encoding(f$sire[2]), "UTF-8")
})

test_that("a pedigree outlives its frame, and saving it does not save the frame", {
  n <- 20000L
  make <- function() {
    id <- sprintf("an%05d", seq_len(n))
    id_frame(id, c(NA, NA, rep(toupper(id[1L]), n - 2L)), c(NA, NA, NA, rep(id[2L], n - 3L)))
  }
  ped <- as_pedigree(make())
  invisible(gc())
  expected <- make()
  f <- inbreeding(ped)
  expect_first_spellings(f, expected, label = "after the frame is gone")
  expect_lt(length(serialize(ped, NULL)), length(serialize(expected$animal, NULL)) / 10)
  again <- unserialize(serialize(ped, NULL))
  expect_error(inbreeding(again), "no longer in memory")
})
