# Pedigrees from data frames: ID types, unknown parents, spellings, failures.

herd_file <- function() system.file("extdata", "herd.pdg", package = "kinvar")
small_file <- function() system.file("extdata", "small.pdg", package = "kinvar")

small_frame <- function() {
  data.frame(animal = c("A", "B", "C", "D", "E", "F", "G", "H", "I", "J"),
             sire = c(NA, "0", "A", "A", "C", "A", NA, "G", "G", "H"),
             dam = c("0", NA, "B", "B", "D", "E", "0", "F", "F", "I"),
             stringsAsFactors = FALSE)
}

test_that("a data frame gives the same pedigree as the file", {
  from_file <- inbreeding(read_pedigree(small_file()))
  id_types <- list(
    character = small_frame(),
    factor = transform(small_frame(), animal = factor(animal), sire = factor(sire),
                       dam = factor(dam)),
    "factor with unused levels" = transform(small_frame(),
                                            sire = factor(sire, levels = c("Z", "H", "G", "C", "A", "0"))))
  for (kind in names(id_types)) {
    expect_identical(inbreeding(as_pedigree(id_types[[kind]])), from_file, label = kind)
  }
})

test_that("integer and numeric IDs", {
  df <- data.frame(id = c(11L, 12L, 13L, 14L), s = c(NA, NA, 11L, 11L), d = c(0L, NA, 12L, 13L))
  ped <- as_pedigree(df, id = "id", sire = "s", dam = "d")
  f <- inbreeding(ped)
  expect_identical(f$id, c(11L, 12L, 13L, 14L))
  expect_identical(f$sire, c(NA, NA, 11L, 11L))
  expect_identical(f$f, c(0, 0, 0, 0.25))
  numeric_ids <- transform(df, id = as.double(id), s = as.double(s), d = as.double(d))
  from_numbers <- inbreeding(as_pedigree(numeric_ids, id = "id", sire = "s", dam = "d"))
  expect_identical(from_numbers$id, c(11, 12, 13, 14))
  expect_identical(from_numbers$f, f$f)
})

test_that("parents without a row are added after the rows: dams, then sires, by ID", {
  df <- data.frame(animal = c("x3", "x4", "x5"), sire = c("p2", "P1", "x3"),
                   dam = c("m2", "M1", "x4"))
  ped <- as_pedigree(df)
  expect_identical(pedigree_ids(ped), c("x3", "x4", "x5", "M1", "m2", "P1", "p2"))
  expect_identical(inbreeding(ped)$id, pedigree_ids(ped))
  expect_identical(nrow(dii(ped)), 7L)
})

test_that("IDs come back as spelled; IDs differing only in case are refused", {
  df <- data.frame(animal = c("abc", "Def", "gHi"), sire = c(NA, NA, "abc"),
                   dam = c(NA, NA, "Def"))
  ped <- as_pedigree(df)
  f <- inbreeding(ped)
  expect_identical(f[, c("id", "sire", "dam")],
                   data.frame(id = c("abc", "Def", "gHi"), sire = c(NA, NA, "abc"),
                              dam = c(NA, NA, "Def")))
  expect_identical(relationship(ped, "abc", "gHi"), 0.5)
  clash <- data.frame(animal = c("abc", "ABC"), sire = NA, dam = NA)
  expect_error(as_pedigree(clash), class = "kinvar_invalid_pedigree")
})

test_that("a rejected pedigree raises kinvar_invalid_pedigree with its list", {
  bad <- data.frame(animal = c("A", "B", "C", "C", "D", "E", "A"),
                    sire = c("0", "0", "A", "A", "C", "B", "E"),
                    dam = c("0", "0", "B", "B", "A", "C", "D"))
  err <- tryCatch(as_pedigree(bad), error = identity)
  expect_s3_class(err, "kinvar_invalid_pedigree")
  expect_s3_class(err, "kinvar_error")
  expect_type(err$errors, "character")
  expect_gt(length(err$errors), 1L)
  expect_identical(conditionMessage(err), paste(err$errors, collapse = "\n"))
  from_file <- tryCatch(read_pedigree(file.path(dirname(herd_file()), "nowhere.pdg")),
                        error = identity)
  expect_s3_class(from_file, "kinvar_error")
})

test_that("the rejected example gives the CLI's list of mistakes", {
  skip_without_cli()
  bad <- data.frame(animal = c("A", "B", "C", "C", "D", "E", "A"),
                    sire = c("0", "0", "A", "A", "C", "B", "E"),
                    dam = c("0", "0", "B", "B", "A", "C", "D"))
  file <- write_pedigree(bad, tempfile(fileext = ".pdg"))
  err <- tryCatch(read_pedigree(file), error = identity)
  stderr <- suppressWarnings(system2(kinvar_cli(), c("view", file, "-q"), stdout = FALSE,
                                     stderr = TRUE))
  for (message in err$errors) expect_true(any(grepl(message, stderr, fixed = TRUE)), label = message)
})

test_that("unknown IDs and groups are refused with the core's message", {
  ped <- read_pedigree(herd_file())
  expect_error(relationship(ped, "S1", "nobody"), class = "kinvar_refused")
  expect_error(gene_origin(ped, 99), class = "kinvar_refused")
  expect_error(relationship(ped, NA, "S1"), "one ID")
})

test_that("extract gives a pedigree of the ancestors or descendants", {
  ped <- read_pedigree(small_file())
  up <- extract(ped, ancestors_of = "E")
  expect_s3_class(up, "kinvar_pedigree")
  expect_setequal(pedigree_ids(up), c("A", "B", "C", "D", "E"))
  expect_identical(inbreeding(up)$f[pedigree_ids(up) == "E"],
                   inbreeding(ped)$f[pedigree_ids(ped) == "E"])
  down <- extract(ped, descendants_of = "F")
  expect_true(all(c("F", "H", "I", "J") %in% pedigree_ids(down)))
  herd <- read_pedigree(herd_file())
  expect_s3_class(extract(herd, ancestors_of = 3, by_group = TRUE), "kinvar_pedigree")
})

test_that("print and summary give the census", {
  ped <- read_pedigree(herd_file())
  s <- summary(ped)
  expect_identical(s$individuals, 18L)
  expect_identical(s$rows, 17L)
  expect_identical(s$groups, 1:3)
  expect_identical(s$census, pedigree_structure(ped)$summary)
  expect_output(print(ped), "18 individuals \\(17 rows, 1 added parents\\), 3 groups")
})

test_that("optimize_matings takes contributions as a data frame or a named vector", {
  ped <- read_pedigree(herd_file())
  plan <- optimize_matings(ped, 2, 3, data.frame(sire = c("B1", "B2", "B3", "B4"), dams = 1),
                           seed = 7)
  expect_identical(names(plan$matings), c("sire", "dam", "coancestry"))
  expect_setequal(plan$matings$dam, c("C1", "C2", "C3", "C4"))
  again <- optimize_matings(ped, 2, 3, c(B1 = 1, B2 = 1, B3 = 1, B4 = 1), seed = 7)
  expect_identical(again, plan)
  forbidden <- data.frame(sire = plan$matings$sire[1], dam = plan$matings$dam[1])
  other <- optimize_matings(ped, 2, 3, c(B1 = 1, B2 = 1, B3 = 1, B4 = 1), forbidden = forbidden,
                            seed = 7)
  pairs <- paste(other$matings$sire, other$matings$dam)
  expect_false(paste(forbidden$sire, forbidden$dam) %in% pairs)
})

test_that("a pedigree saved and loaded again asks to be read again", {
  ped <- read_pedigree(small_file())
  file <- tempfile(fileext = ".rds")
  saveRDS(ped, file)
  expect_error(inbreeding(readRDS(file)), "no longer in memory", class = "kinvar_refused")
})

test_that("relationship_matrix is refused above 25,000,000 cells", {
  ped <- read_pedigree(small_file())
  ids <- rep(pedigree_ids(ped), length.out = 5001L)
  expect_error(relationship_matrix(ped, ids), "more than 25000000 cells")
  expect_identical(dim(relationship_matrix(ped, ids[1:3])), c(3L, 3L))
})

test_that("arguments are checked before the library is called", {
  ped <- read_pedigree(herd_file())
  expect_error(inbreeding(data.frame()), "read_pedigree")
  expect_error(relationships(ped, group2 = 2), "needs 'group'")
  expect_error(relationships(ped, range = 1), "two numbers")
  expect_error(gene_origin(ped, 1.5), "group number")
  expect_error(extract(ped), "either")
  expect_error(as_pedigree(data.frame(id = 1), id = "animal"), "must name a column")
})

test_that("sex and birth dates from a data frame reach the checks and the intervals", {
  df <- data.frame(animal = c("S", "D", "A", "B"), sire = c(NA, NA, "S", "S"),
                   dam = c(NA, NA, "D", "D"), sex = c("M", "F", "M", "F"),
                   born = as.Date(c("2015-03-01", "2016-05-01", "2019-04-01", NA)))
  ped <- as_pedigree(df, sex = "sex", birth_date = "born")
  intervals <- pedigree_structure(ped)$generation_intervals
  expect_false(is.null(intervals))
  overall <- intervals[intervals$pathway == "overall", ]
  expect_identical(overall$pairs, 2L)
  expect_equal(overall$years,
               mean(as.numeric(as.Date("2019-04-01") - df$born[1:2]) / 365.25), tolerance = 1e-6)
  df$born[3] <- as.Date("2014-01-01")
  expect_error(as_pedigree(df, sex = "sex", birth_date = "born"),
               class = "kinvar_invalid_pedigree")
  df$born[3] <- as.Date("2019-04-01")
  df$sex[1] <- "F"
  expect_error(as_pedigree(df, sex = "sex", birth_date = "born"),
               class = "kinvar_invalid_pedigree")
})
