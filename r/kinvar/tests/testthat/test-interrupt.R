# An interrupted computation leaves the pedigree as it was.

test_that("a cancelled computation raises kinvar_cancelled and the pedigree stays usable", {
  made <- random_pedigree(400L, 31L)
  ped <- as_pedigree(made$df)
  before <- inbreeding(ped)
  calls <- list(
    inbreeding = function() inbreeding(ped),
    ainverse = function() ainverse(ped),
    relationships = function() relationships(ped),
    diversity = function() diversity(ped)
  )
  for (name in names(calls)) {
    err <- withr_cancel(0L, tryCatch(calls[[name]](), error = identity))
    expect_s3_class(err, "kinvar_cancelled")
    expect_s3_class(err, "interrupt")
    expect_identical(inbreeding(ped), before, label = name)
  }
})

test_that("the interrupt condition is caught as an interrupt", {
  ped <- as_pedigree(random_pedigree(100L, 32L)$df)
  caught <- withr_cancel(0L, tryCatch(ainverse(ped), interrupt = function(e) "interrupted"))
  expect_identical(caught, "interrupted")
  expect_s4_class(ainverse(ped), "dsCMatrix")
})
