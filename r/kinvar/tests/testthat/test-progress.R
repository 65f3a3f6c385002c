# Progress reaches R's console only when asked for.

test_that("progress shows on the console only with progress = TRUE", {
  made <- random_pedigree(300L, 41L)
  quiet <- capture.output(f0 <- inbreeding(as_pedigree(made$df)), type = "message")
  expect_identical(quiet, character())
  shown <- capture.output(f <- inbreeding(as_pedigree(made$df), progress = TRUE),
                          type = "message")
  expect_match(paste(shown, collapse = "\n"), "[0-9]+%")
  expect_identical(f, inbreeding(as_pedigree(made$df)))
})

test_that("threads never change a result", {
  made <- random_pedigree(300L, 42L)
  one <- as_pedigree(made$df, threads = 1)
  two <- as_pedigree(made$df, threads = 2)
  expect_identical(inbreeding(one, threads = 1), inbreeding(two, threads = 2))
  expect_identical(ainverse(one, threads = 1), ainverse(two, threads = 2))
  expect_error(inbreeding(one, threads = -1), "threads")
})
