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
