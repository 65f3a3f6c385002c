# An interrupted computation leaves the pedigree as it was: the next call
# computes the whole result.

interrupted_calls <- list(
  inbreeding = function(ped) inbreeding(ped),
  ainverse = function(ped) ainverse(ped),
  dii = function(ped) dii(ped),
  structure = function(ped) pedigree_structure(ped),
  diversity = function(ped) diversity(ped)
)

made <- random_pedigree(400L, 31L)
for (name in names(interrupted_calls)) {
  call <- interrupted_calls[[name]]
  test_that(paste("a cancelled computation leaves a usable pedigree:", name), {
    expected <- call(as_pedigree(made$df))
    for (polls in c(0L, 1L)) {
      ped <- as_pedigree(made$df)
      err <- withr_cancel(polls, tryCatch(call(ped), error = identity))
      expect_s3_class(err, "kinvar_cancelled")
      expect_s3_class(err, "interrupt")
      expect_identical(call(ped), expected)
      expect_identical(inbreeding(ped), inbreeding(as_pedigree(made$df)))
    }
  })
}

test_that("the interrupt condition is caught as an interrupt", {
  ped <- as_pedigree(random_pedigree(100L, 32L)$df)
  caught <- withr_cancel(0L, tryCatch(ainverse(ped), interrupt = function(e) "interrupted"))
  expect_identical(caught, "interrupted")
  expect_s4_class(ainverse(ped), "dsCMatrix")
})
