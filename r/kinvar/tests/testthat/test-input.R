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

test_that("IDs come back as spelled; two rows of one ID in two cases are duplicates", {
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
  expect_output(print(ped), "18 individuals \\(17 rows, 1 added parent\\), 3 groups")
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

test_that("IDs in two letter cases are one animal, spelled as first written", {
  df <- data.frame(animal = c("calf1", "calf2"), sire = c("at49m45398", "AT49M45398"), dam = NA)
  ped <- as_pedigree(df)
  expect_identical(pedigree_ids(ped), c("calf1", "calf2", "at49m45398"))
  expect_identical(relationship(ped, "calf1", "calf2"), 0.25)
})

# Each command asked for a group of the pedigree, then for one that is not:
# the second call raises and never gives the first call's tables.
test_that("a group not in the pedigree is refused after the same command ran", {
  ped <- read_pedigree(herd_file())
  calls <- list(
    diversity = function(g) diversity(ped, g),
    gene_origin = function(g) gene_origin(ped, g),
    mean_kinship = function(g) mean_kinship(ped, g),
    purging = function(g) purging(ped, g),
    decompose_inbreeding = function(g) decompose_inbreeding(ped, group = g),
    path_counting = function(g) path_counting(ped, group = g),
    "relationships within" = function(g) relationships(ped, group = g),
    "relationships between" = function(g) relationships(ped, group = 1, group2 = g))
  for (name in names(calls)) {
    first <- suppressWarnings(calls[[name]](3))
    err <- tryCatch(suppressWarnings(calls[[name]](1800)), error = identity)
    expect_s3_class(err, "kinvar_refused")
    expect_identical(conditionMessage(err), 'Group "1800" is not in the pedigree.', label = name)
    expect_identical(suppressWarnings(calls[[name]](3)), first, label = name)
  }
})

test_that("a listing past its cap raises with the count and the way out", {
  df <- data.frame(id = sprintf("F%d", 1:2002), sire = NA, dam = NA, group = c(rep(1L, 2001), 2L))
  ped <- as_pedigree(df)
  err <- tryCatch(relationships(ped, group = 1), error = identity)
  expect_s3_class(err, "kinvar_refused")
  expect_identical(conditionMessage(err), paste0(
    "More than 2000000 of the 2001000 pairs lie between 0 and 2, and a listing stops at 2000000: ",
    "none are returned. Narrow the range, choose a smaller group, or ask for the pairs of given ",
    "IDs (at most 5000 at a time)."))
  expect_identical(nrow(relationships(ped, ids = pedigree_ids(ped)[1:100])), 4950L)
})

test_that("columns are found by the reader's names, any case, or by position", {
  frames <- list(
    "id sire dam" = data.frame(id = c("A", "B", "C"), sire = c(NA, NA, "A"), dam = c(NA, NA, "B")),
    "synonyms in capitals" = data.frame(ANIMAL = c("A", "B", "C"), Father = c(NA, NA, "A"),
                                        MOTHER = c(NA, NA, "B")),
    "progeny named last" = data.frame(dam = c(NA, NA, "B"), sire = c(NA, NA, "A"),
                                      Progeny = c("A", "B", "C")),
    "by position" = data.frame(tag = c("A", "B", "C"), s = c(NA, NA, "A"), d = c(NA, NA, "B")),
    "factors and 0" = data.frame(individual = factor(c("A", "B", "C")),
                                 sire = factor(c("0", "0", "A")), dam = factor(c("0", "0", "B"))))
  for (name in names(frames)) {
    f <- inbreeding(as_pedigree(frames[[name]]))
    expect_identical(f$id, c("A", "B", "C"), label = name)
    expect_identical(f$sire, c(NA, NA, "A"), label = name)
    expect_identical(f$dam, c(NA, NA, "B"), label = name)
  }
  herd <- data.frame(Individual = c("S1", "D1", "A1"), sire = c(NA, NA, "S1"), dam = c(NA, NA, "D1"),
                     Year = c(1L, 1L, 2L), Inbreeding = c(0.25, NA, NA))
  ped <- as_pedigree(herd)
  expect_identical(summary(ped)$groups, 1:2)
  expect_identical(relationship(ped, "S1", "S1"), 1.25)
})

test_that("herd names are groups numbered in order of first appearance", {
  df <- data.frame(animal = c("A", "B", "C", "D"), sire = c(NA, NA, "A", "A"),
                   dam = c(NA, NA, "B", "B"), herd = c("North", "South", "North", NA))
  ped <- as_pedigree(df)
  expect_identical(summary(ped)$groups, 1:2)
  expect_identical(group_names(ped), c("1" = "North", "2" = "South"))
  expect_identical(inbreeding(ped)$group, c("North", "South", "North", NA))
  expect_identical(unique(relationships(ped, group = 1)$id1), "C")
  expect_identical(group_names(extract(ped, ancestors_of = "C")), group_names(ped))
  as_factor <- transform(df, herd = factor(herd, levels = c("South", "North")))
  expect_identical(group_names(as_pedigree(as_factor)), c("1" = "North", "2" = "South"))
  numbers <- transform(df, herd = c("3", "3", "4", "."))
  expect_identical(group_names(as_pedigree(numbers)), character())
})

# Rows: inputs as_pedigree refuses -> the condition class and its exact message.
test_that("wrong inputs raise the package's conditions with words to act on", {
  herd <- data.frame(animal = c("A", "B", "C"), sire = c(NA, NA, "A"), dam = c(NA, NA, "B"))
  rows <- list(
    list("NULL", quote(as_pedigree(NULL)), "kinvar_not_a_frame",
         "'df' must be a data frame, not NULL; make one with data.frame() or read.csv()"),
    list("a list", quote(as_pedigree(list(animal = "A", sire = NA, dam = NA))), "kinvar_not_a_frame",
         "'df' must be a data frame, not a list; make one with data.frame() or read.csv()"),
    list("no rows", quote(as_pedigree(herd[0, ])), "kinvar_bad_frame", "The data frame has no rows."),
    list("a column not in the frame", quote(as_pedigree(herd, id = "tag")), "kinvar_missing_column",
         "'id' must name a column of 'df'; its columns are \"animal\", \"sire\", \"dam\""),
    list("no dam", quote(as_pedigree(data.frame(animal = "A", sire = NA, weight = 3))),
         "kinvar_missing_column",
         "No column of the data frame stands for the dam: name it \"dam\" or \"mother\", or give dam ="),
    list("two ID columns", quote(as_pedigree(cbind(herd, id = herd$animal))), "kinvar_refused",
         "Error: The header names the column Progeny twice: \"animal\" and \"id\"."),
    list("logical sex", quote(as_pedigree(cbind(herd, sex = c(TRUE, FALSE, TRUE)))), "kinvar_column_type",
         paste0("Column \"sex\" holds TRUE and FALSE, which cannot be sexes. ",
                "Write the sexes as \"M\" and \"F\" (or 1 and 2).")),
    list("21-digit ear tags as doubles",
         quote(as_pedigree(data.frame(animal = c(1, 2, 276000123456789012345), sire = NA, dam = NA))),
         "kinvar_bad_frame",
         paste0("Row 3, column \"animal\": the ID 2.76000123456789e+20 is not a whole number below 2^53, ",
                "which a double holds exactly, so animals could be taken for one another. ",
                "Read the column as text (colClasses = \"character\").")),
    list("Inf", quote(as_pedigree(data.frame(animal = c(1, Inf), sire = NA, dam = NA))), "kinvar_bad_frame",
         paste0("Row 2, column \"animal\": the ID Inf is not a whole number below 2^53, ",
                "which a double holds exactly, so animals could be taken for one another. ",
                "Read the column as text (colClasses = \"character\").")),
    list("NaN", quote(as_pedigree(data.frame(animal = c(1, 2), sire = c(NA, NaN), dam = NA))),
         "kinvar_bad_frame",
         paste0("Row 2, column \"sire\": the ID NaN is not a whole number below 2^53, ",
                "which a double holds exactly, so animals could be taken for one another. ",
                "Read the column as text (colClasses = \"character\").")),
    list("1.5", quote(as_pedigree(data.frame(animal = c(1, 2), sire = c(NA, 1.5), dam = NA))),
         "kinvar_bad_frame",
         paste0("Row 2, column \"sire\": the ID 1.5 is not a whole number below 2^53, ",
                "which a double holds exactly, so animals could be taken for one another. ",
                "Read the column as text (colClasses = \"character\").")),
    list("F that is text", quote(as_pedigree(cbind(herd, F = c("0.1", "abc", NA)))), "kinvar_refused",
         paste0("Error in row 2.\nThe inbreeding coefficient must be a number in the range ",
                "of 0 - 1.\nColumn F: \"abc\"")),
    list("a date the caller named", quote(as_pedigree(cbind(herd, born = c("2020-01-01", "2020-13-01", NA)),
                                                      birth_date = "born")),
         "kinvar_refused", NULL))
  for (row in rows) {
    err <- tryCatch(eval(row[[2]]), error = identity)
    expect_s3_class(err, row[[3]])
    expect_s3_class(err, "kinvar_error")
    if (!is.null(row[[4]])) expect_identical(conditionMessage(err), row[[4]], label = row[[1]])
  }
  born <- tryCatch(as_pedigree(cbind(herd, born = c("2020-01-01", "2020-13-01", NA)), birth_date = "born"),
                   error = identity)
  expect_identical(conditionMessage(born), paste0("Error in row 2, column born.\n\"2020-13-01\" is not a ",
                                                  "birth date. Write a date as 2021-04-17, or a year alone as 2021."))
})

test_that("Date birth dates and numbers as whole-number IDs are accepted", {
  df <- data.frame(animal = c(1, 2, 3), sire = c(NA, NA, 1), dam = c(NA, NA, 2),
                   born = as.Date(c("2020-01-01", "2020-02-01", "2022-01-01")), sex = c("M", "F", "M"))
  ped <- as_pedigree(df)
  expect_identical(pedigree_ids(ped), c("1", "2", "3"))
  big <- data.frame(animal = c(2^53, 1), sire = NA, dam = NA)
  expect_identical(pedigree_ids(as_pedigree(big)), c("9007199254740992", "1"))
})

test_that("validation messages name the rows of the data frame", {
  df <- data.frame(animal = c("A", "B", "A", "C"), sire = c(NA, NA, NA, "B"), dam = c(NA, NA, NA, "C"))
  err <- tryCatch(as_pedigree(df), error = identity)
  expect_s3_class(err, "kinvar_invalid_pedigree")
  expect_identical(err$errors, c("A appearing more than once in the progeny list (rows 1, 3).",
                                 "C appearing in its ancestors list (Cycling pedigree), row 4.",
                                 "Cycle: C (row 4) > C"))
})
