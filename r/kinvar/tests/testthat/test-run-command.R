# run_command(): any declared command by its kinvar-cli name and the
# keywords its declaration names gives what the command's own function gives.

herd_pedigree <- function() read_pedigree(system.file("extdata", "herd.pdg", package = "kinvar"))

by_id <- function(table) {
  table <- table[order(table$id), , drop = FALSE]
  rownames(table) <- NULL
  table
}

test_that("a declared command gives through run_command what its own function gives", {
  ped <- herd_pedigree()
  cases <- list(
    "structure" = list(run_command(ped, "structure"), pedigree_structure(ped)),
    "diversity of a group" = list(run_command(ped, "diversity", group = 3L), diversity(ped, 3L)),
    "diversity of every individual" = list(run_command(ped, "diversity"), diversity(ped)),
    "NULL takes the default" = list(run_command(ped, "diversity", group = NULL), diversity(ped)),
    "a group as a double" = list(run_command(ped, "diversity", group = 2), diversity(ped, 2L)),
    "gene origin" = list(run_command(ped, "gene-origin", group = 3L), gene_origin(ped, 3L))
  )
  for (name in names(cases)) {
    expect_identical(cases[[name]][[1]], cases[[name]][[2]], label = name)
  }
})

test_that("purging by its keywords gives the function's tables, a flag as TRUE or FALSE", {
  ped <- herd_pedigree()
  for (flag in c(TRUE, FALSE)) {
    ran <- run_command(ped, "purging", group = 3L, purging_coefficient = 0.25, all_founders = flag)
    own <- purging(ped, group = 3L, purging_coefficient = 0.25, all_founders = flag)
    expect_identical(names(ran), names(own))
    for (name in names(own)) {
      # The function puts the individuals in input order; the report lists them by code.
      if (name == "purging") {
        expect_identical(by_id(ran[[name]]), by_id(own[[name]]), label = name)
      } else {
        expect_identical(ran[[name]], own[[name]], label = name)
      }
    }
  }
})

test_that("command_keywords lists the declaration's keywords with their defaults", {
  expect_identical(command_keywords("purging"),
                   c(group = "all", purging_coefficient = "0", gene_drops = "0", all_founders = "0",
                     seed = ""))
  expect_length(command_keywords("structure"), 0L)
  expect_length(command_keywords("no-such-command"), 0L)
})

test_that("run_command refuses what no declaration takes", {
  ped <- herd_pedigree()
  refusals <- list(
    "a keyword the command does not take" = list(function() run_command(ped, "diversity", bogus = 1),
                                                 "diversity takes no argument \"bogus\""),
    "a command that is not declared" = list(function() run_command(ped, "no-such-command"),
                                            "No command \"no-such-command\""),
    "an unnamed argument" = list(function() run_command(ped, "diversity", 3L), "must be named"),
    "two values for one" = list(function() run_command(ped, "diversity", group = 1:2), "'group' must be one value"),
    "a list for a value" = list(function() run_command(ped, "diversity", group = list(1)),
                                "'group' must be a flag, a number or a text")
  )
  for (name in names(refusals)) {
    expect_error(refusals[[name]][[1]](), refusals[[name]][[2]], fixed = TRUE, label = name)
  }
})
