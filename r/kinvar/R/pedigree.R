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

as_pedigree <- function(df, id = NULL, sire = NULL, dam = NULL, group = NULL, f = NULL,
                        sex = NULL, birth_date = NULL,
                        threads = getOption("kinvar.threads", 0L),
                        genetic_groups = NULL, group_fractions = NULL, metafounders = NULL) {
  df <- .checked_frame(df)
  load <- .load_options(genetic_groups, group_fractions, metafounders)
  chosen <- .chosen_columns(df, list(id = id, sire = sire, dam = dam, group = group, f = f,
                                     sex = sex, birth_date = birth_date))
  group_names <- NULL
  columns <- lapply(names(chosen), function(role) {
    name <- chosen[[role]]
    x <- df[[name]]
    .check_type(x, role, name)
    if (role %in% c("id", "sire", "dam")) .check_double_ids(x, name)
    if (role == "group") {
      numbered <- .numbered_groups(x)
      group_names <<- numbered$names
      x <- numbered$groups
    }
    .cells(x, role)
  })
  ptr <- .value(.kv_from_columns(unname(.reader_names[names(chosen)]), columns,
                                 .control(threads, FALSE), load, enc2utf8(unname(unlist(chosen)))))
  if (!is.null(group_names)) .value(.kv_name_groups(ptr, enc2utf8(unname(group_names))))
  .new_pedigree(ptr)
}

# The classes of the errors of a data frame that cannot stand for a pedigree.
.frame_error <- function(message, class = NULL) {
  stop(.condition(c(class, "kinvar_bad_frame", "kinvar_error", "error"), message, NULL))
}

.checked_frame <- function(df) {
  if (!is.data.frame(df)) {
    what <- if (is.null(df)) "NULL" else paste0("a ", class(df)[1L])
    .frame_error(sprintf("'df' must be a data frame, not %s; make one with data.frame() or read.csv()",
                         what), "kinvar_not_a_frame")
  }
  if (nrow(df) == 0L) .frame_error("The data frame has no rows.")
  # A tibble's or a data.table's rows are rows as well.
  as.data.frame(df, stringsAsFactors = FALSE)
}

.role_words <- c(id = "the individual's ID", sire = "the sire", dam = "the dam")
.role_names <- c(id = '"id" or "animal"', sire = '"sire" or "father"', dam = '"dam" or "mother"')

# Role -> column name: the arguments given, the others found by the
# reader's names and synonyms (or the first three columns by position).
.chosen_columns <- function(df, arguments) {
  for (role in names(arguments)) {
    name <- arguments[[role]]
    if (is.null(name)) next
    if (!is.character(name) || length(name) != 1L || !name %in% names(df)) {
      .frame_error(sprintf("'%s' must name a column of 'df'; its columns are %s", role,
                           paste(sprintf('"%s"', names(df)), collapse = ", ")),
                   "kinvar_missing_column")
    }
  }
  found <- .value(.kv_find_columns(enc2utf8(names(df))))
  given <- unlist(arguments)
  chosen <- list()
  for (k in seq_along(.reader_names)) {
    role <- names(.reader_names)[k]
    at <- found[[k]]
    if (!is.null(arguments[[role]])) {
      chosen[[role]] <- arguments[[role]]
    } else if (at >= 0L && !names(df)[at + 1L] %in% given) {
      chosen[[role]] <- names(df)[at + 1L]
    }
  }
  for (role in c("id", "sire", "dam")) {
    if (is.null(chosen[[role]])) {
      .frame_error(sprintf("No column of the data frame stands for %s: name it %s, or give %s =",
                           .role_words[[role]], .role_names[[role]], role),
                   "kinvar_missing_column")
    }
  }
  chosen
}

.what <- c(id = "IDs", sire = "IDs", dam = "IDs", group = "groups", f = "inbreeding coefficients",
           sex = "sexes", birth_date = "birth dates")

.check_type <- function(x, role, name) {
  if (is.logical(x) && !all(is.na(x))) {
    hint <- if (role == "sex") ' Write the sexes as "M" and "F" (or 1 and 2).' else ""
    .frame_error(sprintf('Column "%s" holds TRUE and FALSE, which cannot be %s.%s', name,
                         .what[[role]], hint), "kinvar_column_type")
  }
  if (inherits(x, c("Date", "POSIXt")) && role != "birth_date") {
    .frame_error(sprintf('Column "%s" holds dates, which cannot be %s.', name, .what[[role]]),
                 "kinvar_column_type")
  }
  if (!(is.character(x) || is.factor(x) || is.numeric(x) || is.logical(x) ||
        inherits(x, c("Date", "POSIXt")))) {
    .frame_error(sprintf('Column "%s" holds values of class %s, which cannot be %s.', name,
                         class(x)[1L], .what[[role]]), "kinvar_column_type")
  }
}

# Doubles hold every whole number up to 2^53 exactly, and not every one
# above: 21-digit ear tags read as doubles would collide.
.check_double_ids <- function(x, name) {
  if (!is.double(x) || inherits(x, c("Date", "POSIXt"))) return(invisible())
  bad <- is.nan(x) | (!is.na(x) & (!is.finite(x) | x != floor(x) | abs(x) > 2^53))
  if (any(bad)) {
    row <- which(bad)[1L]
    .frame_error(sprintf(paste0('Row %d, column "%s": the ID %s is not a whole number below 2^53, ',
                                "which a double holds exactly, so animals could be taken for one ",
                                'another. Read the column as text (colClasses = "character").'),
                         row, name, format(x[row], digits = 15)))
  }
}

# Groups that are names numbered 1, 2 ... in order of first appearance,
# with the numbers' names; whole numbers (also as text) stay as they are.
.numbered_groups <- function(x) {
  if (!is.character(x) && !is.factor(x)) return(list(groups = x, names = NULL))
  text <- trimws(as.character(x))
  text[!is.na(text) & text %in% c("", ".")] <- NA
  present <- text[!is.na(text)]
  if (all(grepl("^[0-9]+$", present))) return(list(groups = x, names = NULL))
  labels <- unique(present)
  numbered <- labels
  names(numbered) <- seq_along(labels)
  list(groups = match(text, labels), names = numbered)
}

group_names <- function(ped) {
  labels <- .value(.kv_group_names(.ptr(ped)))
  if (length(labels) > 0L) names(labels) <- seq_along(labels)
  labels
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
      .frame_error(paste0("'group_fractions' must be a data frame with the columns individual, ",
                          "parent, group and fraction"))
    }
    if (!is.numeric(group_fractions$fraction)) {
      .frame_error("the fraction column of 'group_fractions' must hold numbers")
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
    .frame_error(paste0("'metafounders' must be a data frame of the columns group1, group2 and ",
                        "value (numbers)"))
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
