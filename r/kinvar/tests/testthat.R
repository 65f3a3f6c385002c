library(testthat)
library(kinvar)

test_check("kinvar")
