# Every table against kinvar-cli's CSV for the same file and command.

cli_cases <- list(
  "a few dozen" = list(n = 30L, seed = 21L, fpre = FALSE),
  "predefined F" = list(n = 80L, seed = 22L, fpre = TRUE),
  "a few hundred" = list(n = 300L, seed = 23L, fpre = FALSE)
)

for (name in names(cli_cases)) {
  case <- cli_cases[[name]]
  made <- random_pedigree(case$n, case$seed, fpre = case$fpre)
  file <- write_pedigree(made$df, tempfile(fileext = ".pdg"))
  ped <- read_pedigree(file)
  group <- made$df$group[1]

  # The command line, the table and our function's result.
  commands <- list(
    inbreeding = list(c("inbreeding", file), "inbreeding", function() inbreeding(ped)),
    summary = list(c("inbreeding", file), "summary", function() attr(inbreeding(ped), "summary")),
    pairs = list(c("relationships", file, "within", group), "pairs",
                 function() relationships(ped, group = group)),
    between = list(c("relationships", file, "between", "1", "2", "--range", "0.1", "2"), "pairs",
                   function() relationships(ped, group = 1, group2 = 2, range = c(0.1, 2))),
    coefficients = list(c("relationships", file, "all", "--relationship", "coefficient"), "pairs",
                        function() relationships(ped, type = "coefficient")),
    average = list(c("average-relatedness", file), "average_relatedness",
                   function() average_relatedness(ped)),
    groups = list(c("average-between-groups", file), "group_averages",
                  function() average_between_groups(ped)),
    dii = list(c("dii", file), "dii", function() dii(ped)),
    census = list(c("structure", file), "groups", function() pedigree_structure(ped)$groups),
    census_summary = list(c("structure", file), "summary",
                          function() pedigree_structure(ped)$summary),
    paths = list(c("path-counting", file, "all"), "paths", function() path_counting(ped)$paths),
    ncas = list(c("path-counting", file, "all"), "ncas", function() path_counting(ped)$ncas),
    origin = list(c("gene-origin", file, group), "founder_contributions",
                  function() gene_origin(ped, group)$founder_contributions),
    diversity = list(c("diversity", file, "all"), "groups", function() diversity(ped)$groups),
    ancestors = list(c("diversity", file, group), "ancestors",
                     function() diversity(ped, group)$ancestors),
    decompose = list(c("decompose", file, "group", group), "decomposition",
                     function() decompose_inbreeding(ped, group = group)$decomposition),
    coancestry = list(c("decompose", file, "coancestry", group), "summary",
                      function() decompose_inbreeding(ped, group = group, coancestry = TRUE)$summary)
  )
  for (command in names(commands)) {
    spec <- commands[[command]]
    test_that(paste("kinvar-cli agrees:", name, command), {
      skip_without_cli()
      expect_same_table(spec[[3]](), cli_table(spec[[1]], spec[[2]]), paste(name, command))
    })
  }

  test_that(paste("kinvar-cli agrees on the inverse:", name), {
    skip_without_cli()
    ainv <- ainverse(ped, precision = "single")
    expect_identical(rownames(ainv), pedigree_ids(ped))
    expect_cli_triplets(ainv, c("inverse", file), "ainverse")
  })

  test_that(paste("a data frame gives what the file gives:", name), {
    from_frame <- as_pedigree(made$df, group = "group", f = "f")
    expect_identical(upper_ids(inbreeding(from_frame)), upper_ids(inbreeding(ped)))
    expect_identical(pedigree_structure(from_frame), pedigree_structure(ped))
  })
}
