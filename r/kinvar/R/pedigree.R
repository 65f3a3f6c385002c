# Pedigrees from files and data frames, and the pedigrees extracted from them.

read_pedigree <- function(file, sheet = "", threads = getOption("kinvar.threads", 0L),
                          genetic_groups = NULL, group_fractions = NULL, metafounders = NULL) {
  if (!is.character(file) || length(file) != 1L || is.na(file)) {
    stop("'file' must be one file name", call. = FALSE)
  }
  path <- enc2utf8(path.expand(file))
  load <- .load_options(genetic_groups, group_fractions, metafounders)
  ptr <- .value(.kv_read(path, enc2utf8(as.character(sheet)), .control(threads, FALSE), load))
  .new_pedigree(ptr)
}

# The reader's names for the columns that as_pedigree() maps.
.reader_names <- c(id = "Progeny", sire = "Sire", dam = "Dam", group = "Group", f = "F",
                   sex = "Sex", birth_date = "Birth date")

as_pedigree <- function(df, id = "animal", sire = "sire", dam = "dam", group = NULL, f = NULL,
                        sex = NULL, birth_date = NULL,
                        threads = getOption("kinvar.threads", 0L),
                        genetic_groups = NULL, group_fractions = NULL, metafounders = NULL) {
  if (!is.data.frame(df)) stop("'df' must be a data frame", call. = FALSE)
  load <- .load_options(genetic_groups, group_fractions, metafounders)
  chosen <- list(id = id, sire = sire, dam = dam, group = group, f = f, sex = sex,
                 birth_date = birth_date)
  chosen <- chosen[!vapply(chosen, is.null, logical(1))]
  columns <- lapply(names(chosen), function(role) {
    name <- chosen[[role]]
    if (!is.character(name) || length(name) != 1L || !name %in% names(df)) {
      stop(sprintf("'%s' must name a column of 'df'", role), call. = FALSE)
    }
    .cells(df[[name]], role)
  })
  ptr <- .value(.kv_from_columns(unname(.reader_names[names(chosen)]), columns,
                                 .control(threads, FALSE), load))
  .new_pedigree(ptr)
}

# The genetic groups (parent IDs that stand for groups), the fuzzy groups'
# fractions and the metafounders' Gamma, as the compiled code takes them;
# the library checks the values themselves.
.load_options <- function(genetic_groups, group_fractions, metafounders = NULL) {
  groups <- if (is.null(genetic_groups)) character() else .ids(genetic_groups, "genetic_groups")
  columns <- c("individual", "parent", "group", "fraction")
  fractions <- list(individual = character(), parent = character(), group = character(),
                    fraction = double())
  if (!is.null(group_fractions)) {
    if (!is.data.frame(group_fractions) || !all(columns %in% names(group_fractions))) {
      stop("'group_fractions' must be a data frame with the columns individual, parent, group ",
           "and fraction", call. = FALSE)
    }
    if (!is.numeric(group_fractions$fraction)) {
      stop("the fraction column of 'group_fractions' must hold numbers", call. = FALSE)
    }
    fractions <- list(individual = .ids(group_fractions$individual, "group_fractions$individual"),
                      parent = .ids(group_fractions$parent, "group_fractions$parent"),
                      group = .ids(group_fractions$group, "group_fractions$group"),
                      fraction = as.double(group_fractions$fraction))
  }
  list(groups = groups, fractions = fractions, metafounders = .gamma_rows(metafounders))
}

# Gamma as rows (group1, group2, value): the first two columns name the
# metafounders, the third holds the values.
.gamma_rows <- function(metafounders) {
  if (is.null(metafounders)) {
    return(list(group1 = character(), group2 = character(), value = double()))
  }
  if (!is.data.frame(metafounders) || ncol(metafounders) < 3L || !is.numeric(metafounders[[3L]])) {
    stop("'metafounders' must be a data frame of the columns group1, group2 and value (numbers)",
         call. = FALSE)
  }
  list(group1 = .ids(metafounders[[1L]], "metafounders' first column"),
       group2 = .ids(metafounders[[2L]], "metafounders' second column"),
       value = as.double(metafounders[[3L]]))
}

# A column as the reader takes it: text, factors and numbers go to the
# compiled code as they are; dates as ISO dates.
.cells <- function(x, role) {
  if (inherits(x, c("Date", "POSIXt"))) {
    out <- format(x, "%Y-%m-%d")
    out[is.na(x)] <- NA_character_
    return(out)
  }
  if (is.character(x)) return(enc2utf8(x))
  if (is.factor(x)) {
    levels(x) <- enc2utf8(levels(x))
    return(x)
  }
  if (is.numeric(x) || is.logical(x)) return(x)
  stop(sprintf("the %s column must hold text, factors or numbers", role), call. = FALSE)
}

extract <- function(ped, ancestors_of = NULL, descendants_of = NULL, by_group = FALSE,
                    threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  if (is.null(ancestors_of) == is.null(descendants_of)) {
    stop("give either 'ancestors_of' or 'descendants_of'", call. = FALSE)
  }
  ancestors <- !is.null(ancestors_of)
  of <- if (ancestors) ancestors_of else descendants_of
  if (isTRUE(by_group)) {
    id <- ""
    group <- .one_group(of, if (ancestors) "ancestors_of" else "descendants_of")
  } else {
    id <- .one_id(of, if (ancestors) "ancestors_of" else "descendants_of")
    group <- 0L
  }
  ptr <- .value(.kv_extract(.ptr(ped), ancestors, isTRUE(by_group), id, group,
                            .control(threads, progress)))
  .new_pedigree(ptr)
}
