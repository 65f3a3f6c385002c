# A, its diagonal and its inverse against the tabular recursion.

cases <- list(
  "small, no rows dropped" = list(n = 12L, seed = 1L, missing_rows = 0L, fpre = FALSE),
  "parents without rows" = list(n = 40L, seed = 2L, missing_rows = 3L, fpre = FALSE),
  "predefined F of founders" = list(n = 60L, seed = 3L, missing_rows = 2L, fpre = TRUE),
  "deeper" = list(n = 150L, seed = 4L, missing_rows = 4L, fpre = TRUE)
)

for (name in names(cases)) {
  case <- cases[[name]]
  made <- random_pedigree(case$n, case$seed, case$missing_rows, fpre = case$fpre)
  ped <- as_pedigree(made$df, f = "f", group = "group")
  ids <- input_order(made$df)
  a <- made$a[ids, ids]

  test_that(paste("relationship_matrix is the tabular A:", name), {
    expect_identical(pedigree_ids(ped), ids)
    m <- relationship_matrix(ped, ids)
    expect_identical(dimnames(m), list(ids, ids))
    expect_equal(m, a, tolerance = 1e-6)
    k <- sample(ids, 7L)
    expect_equal(relationship_matrix(ped, k), a[k, k], tolerance = 1e-6)
    coefficient <- a / sqrt(outer(diag(a), diag(a)))
    expect_equal(relationship_matrix(ped, k, type = "coefficient"), coefficient[k, k],
                 tolerance = 1e-6)
  })

  test_that(paste("the diagonal is 1 + F everywhere:", name), {
    f <- inbreeding(ped)
    expect_identical(f$id, ids)
    # The matrix sums its diagonal over the ancestors in 32-bit floats, so
    # 1 + F holds to the float's precision (1 - 2^-24 for an F of 0 seen).
    float_precision <- 2^-22
    d <- diag(relationship_matrix(ped, ids))
    expect_equal(unname(d), 1 + f$f, tolerance = float_precision)
    expect_equal(f$f, unname(diag(a)) - 1, tolerance = 1e-6)
    one <- sample(ids, 1L)
    expect_equal(relationship(ped, one, one), 1 + f$f[match(one, ids)],
                 tolerance = float_precision)
  })

  test_that(paste("ainverse is solve(A):", name), {
    ainv <- ainverse(ped)
    expect_s4_class(ainv, "dsCMatrix")
    expect_true(methods::validObject(ainv))
    expect_identical(ainv@uplo, "L")
    expect_identical(dimnames(ainv), list(ids, ids))
    expect_true(Matrix::isSymmetric(ainv))
    expect_equal(as.matrix(ainv), solve(a), tolerance = 1e-6)
  })

  test_that(paste("pairs and single relationships agree with A:", name), {
    k <- sample(ids, 6L)
    pairs <- relationships(ped, ids = k)
    expect_equal(nrow(pairs), choose(6L, 2L))
    expected <- a[cbind(pairs$id1, pairs$id2)]
    expect_equal(pairs$value, expected, tolerance = 1e-6)
    expect_identical(relationship(ped, pairs$id1[1], pairs$id2[1]), pairs$value[1])
    coefficient <- relationships(ped, ids = k, type = "coefficient")
    ratio <- expected / sqrt(diag(a)[coefficient$id1] * diag(a)[coefficient$id2])
    expect_equal(coefficient$value, unname(ratio), tolerance = 1e-6)
  })
}

test_that("average relatedness is the row mean of A", {
  made <- random_pedigree(50L, 9L)
  ped <- as_pedigree(made$df)
  avg <- average_relatedness(ped)
  ids <- input_order(made$df)
  expect_setequal(avg$id, ids)
  expect_equal(avg$value, unname(rowMeans(made$a)[avg$id]), tolerance = 1e-6)
})

test_that("dii is the D of A = TDT'", {
  made <- random_pedigree(50L, 10L)
  ped <- as_pedigree(made$df)
  d <- dii(ped)
  f <- inbreeding(ped)
  fof <- setNames(f$f, f$id)
  parent_f <- function(p) {
    vapply(p, function(x) if (is.na(x) || x == "0") -1 else fof[[x]], 0)
  }
  # With F of an unknown parent taken as -1, D = 1/2 - (Fs + Fd) / 4.
  rows <- match(d$id, made$df$animal)
  expected <- ifelse(is.na(rows), 1,
                     0.5 - (parent_f(made$df$sire[rows]) + parent_f(made$df$dam[rows])) / 4)
  expect_equal(d$dii, unname(expected), tolerance = 1e-6)
})
