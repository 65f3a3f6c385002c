# Purging and the management of a population: mean kinship, the suitability
# of pairs and optimum contributions. Every kinship here goes through the
# same relationships as the other commands, in single precision.

purging <- function(ped, group = NULL, purging_coefficient = 0, gene_drops = 0L,
                    all_founders = FALSE, seed = NULL,
                    threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  coefficient <- .one_number(purging_coefficient, "purging_coefficient")
  if (length(gene_drops) != 1L || !is.numeric(gene_drops) || is.na(gene_drops) ||
      gene_drops != round(gene_drops) || gene_drops < 0 || gene_drops > .Machine$integer.max) {
    stop("'gene_drops' must be one whole number, 0 for no gene dropping", call. = FALSE)
  }
  tables <- .value(.kv_purging(.ptr(ped), is.null(group),
                               if (is.null(group)) 0L else .one_group(group, "group"), coefficient,
                               as.integer(gene_drops), isTRUE(all_founders), .seed(seed),
                               .control(threads, progress)))
  # In input order, as every other per-individual table.
  individuals <- tables$purging
  if (!is.null(individuals) && nrow(individuals)) {
    order <- order(match(toupper(individuals$id), toupper(pedigree_ids(ped))))
    individuals <- individuals[order, , drop = FALSE]
    rownames(individuals) <- NULL
    tables$purging <- individuals
  }
  tables
}

# An unknown sex is NA, as R has it, rather than the report's ".".
.sex_na <- function(table) {
  if (is.data.frame(table) && "sex" %in% names(table)) {
    table$sex[table$sex %in% "."] <- NA_character_
  }
  table
}

mean_kinship <- function(ped, group = NULL, threads = getOption("kinvar.threads", 0L),
                         progress = FALSE) {
  tables <- .value(.kv_mean_kinship(.ptr(ped), is.null(group),
                                    if (is.null(group)) 0L else .one_group(group, "group"),
                                    .control(threads, progress)))
  out <- .sex_na(tables$mean_kinship)
  attr(out, "summary") <- tables$summary
  out
}

mate_suitability <- function(ped, sires, dams, reference = NULL, max_f = 0.0625,
                             threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  tables <- .value(.kv_mate_suitability(.ptr(ped), .mates(ped, sires, "sires"),
                                        .mates(ped, dams, "dams"), is.null(reference),
                                        if (is.null(reference)) 0L
                                        else .one_group(reference, "reference"),
                                        .one_number(max_f, "max_f"),
                                        .control(threads, progress)))
  out <- tables$mate_suitability
  attr(out, "summary") <- tables$summary
  out
}

planned_mating <- function(ped, sire, dam, sire_parents = NULL, dam_parents = NULL,
                           candidates = NULL, reference = NULL, top = 20L,
                           threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  parent <- function(x, what) if (is.null(x) || (length(x) == 1L && is.na(x))) "" else .one_id(x, what)
  parents <- function(x, what) {
    if (is.null(x)) return(character())
    if (length(x) != 2L) stop(sprintf("'%s' must be two IDs, sire and dam", what), call. = FALSE)
    x <- as.character(x)
    x[is.na(x)] <- "0"
    .ids(x, what)
  }
  group <- function(x, what) if (is.null(x)) integer() else .one_group(x, what)
  if (length(top) != 1L || !is.numeric(top) || is.na(top) || top != round(top) || top < 0 ||
      top > 1000000) {
    stop("'top' must be one whole number from 0 to 1000000", call. = FALSE)
  }
  tables <- .value(.kv_planned_mating(.ptr(ped), parent(sire, "sire"), parent(dam, "dam"),
                                      parents(sire_parents, "sire_parents"),
                                      parents(dam_parents, "dam_parents"),
                                      group(candidates, "candidates"), group(reference, "reference"),
                                      as.integer(top), .control(threads, progress)))
  structure(tables, class = c("kinvar_mating", class(tables)))
}

print.kinvar_mating <- function(x, ...) {
  figures <- setNames(x$summary$value, x$summary$figure)
  cat(sprintf("Planned mating: offspring F %g (relationship of the parents %g)\n",
              figures[["Offspring F"]], figures[["Relationship of the parents"]]))
  if (!is.null(x$common_ancestors)) {
    cat("Common ancestors and their parts of F:\n")
    print(x$common_ancestors, row.names = FALSE)
  }
  if (!is.null(x$best_sires)) {
    cat("Best sires for the dam:\n")
    print(x$best_sires, row.names = FALSE)
  }
  invisible(x)
}

optimum_contributions <- function(ped, sires, dams, breeding_values = NULL,
                                  target_delta_f = NULL, target_kinship = NULL,
                                  max_contribution = NULL, matings = FALSE,
                                  threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  if (!is.null(target_delta_f) && !is.null(target_kinship)) {
    stop("give either 'target_delta_f' or 'target_kinship', not both", call. = FALSE)
  }
  values <- .breeding_values(breeding_values)
  optional <- function(x, what) if (is.null(x)) numeric() else .one_number(x, what)
  tables <- .value(.kv_optimum_contributions(.ptr(ped), .mates(ped, sires, "sires"),
                                             .mates(ped, dams, "dams"),
                                   values$id, values$value,
                                   optional(target_delta_f, "target_delta_f"),
                                   optional(target_kinship, "target_kinship"),
                                   optional(max_contribution, "max_contribution"),
                                   isTRUE(matings), .control(threads, progress)))
  tables$contributions <- .sex_na(tables$contributions)
  tables
}

# Breeding values by ID, from a data frame (id, value) or a named vector;
# NULL for none.
.breeding_values <- function(x) {
  if (is.null(x)) return(list(id = character(), value = numeric()))
  if (is.data.frame(x)) {
    if (ncol(x) < 2L) {
      stop("'breeding_values' needs an ID column and a value column", call. = FALSE)
    }
    id <- x[[1L]]
    value <- x[[2L]]
  } else if (is.numeric(x) && !is.null(names(x))) {
    id <- names(x)
    value <- unname(x)
  } else {
    stop("'breeding_values' must be a data frame (id, value) or a named vector", call. = FALSE)
  }
  if (!is.numeric(value) || any(!is.finite(value))) {
    stop("the breeding values must be numbers", call. = FALSE)
  }
  list(id = .ids(id, "breeding_values"), value = as.double(value))
}
