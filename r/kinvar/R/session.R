# The pedigree object, the options every computing function takes, and the
# conditions that the library's failures become.

.control <- function(threads, progress, precision = "single") {
  threads <- as.integer(threads)
  if (length(threads) != 1L || is.na(threads) || threads < 0L) {
    stop("'threads' must be one whole number, 0 for one thread per core", call. = FALSE)
  }
  list(threads = threads, progress = isTRUE(progress),
       double_precision = identical(precision, "double"),
       # Tests interrupt a computation at a known point through this option.
       cancel_after = as.integer(getOption("kinvar.cancel_after", -1L)))
}

.default_threads <- function() getOption("kinvar.threads", 0L)

.condition <- function(classes, message, call, ...) {
  structure(class = c(classes, "condition"),
            list(message = message, call = call, ...))
}

# Raises a failure handed back by the compiled code, or passes the value on.
.value <- function(x, call = sys.call(-1L)) {
  if (!inherits(x, "kinvar_failure")) {
    notes <- attr(x, "kinvar_notes")
    if (is.null(notes)) return(x)
    attr(x, "kinvar_notes") <- NULL
    for (note in notes) warning(.condition(c("kinvar_warning", "warning"), note, call))
    return(x)
  }
  switch(x$kind,
    invalid_pedigree = stop(.condition(
      c("kinvar_invalid_pedigree", "kinvar_error", "error"),
      paste(x$errors, collapse = "\n"), call, errors = x$errors)),
    cancelled = stop(.condition(
      c("kinvar_cancelled", "interrupt", "error"), x$message, call)),
    refused = stop(.condition(c("kinvar_refused", "kinvar_error", "error"), x$message, call)),
    stop(.condition(c("kinvar_error", "error"), x$message, call)))
}

# The IDs never change once a pedigree is built, so the first call that
# needs them keeps them in `cache`.
.new_pedigree <- function(ptr) {
  structure(list(ptr = ptr, cache = new.env(parent = emptyenv())), class = "kinvar_pedigree")
}

.ptr <- function(ped) {
  if (!inherits(ped, "kinvar_pedigree")) {
    stop("'ped' must be a pedigree from read_pedigree() or as_pedigree()", call. = FALSE)
  }
  ped$ptr
}

.one_id <- function(x, what) {
  if (is.factor(x)) x <- as.character(x)
  if (length(x) != 1L || is.na(x)) stop(sprintf("'%s' must be one ID", what), call. = FALSE)
  enc2utf8(as.character(x))
}

.ids <- function(x, what) {
  if (is.factor(x)) x <- as.character(x)
  x <- as.character(x)
  if (anyNA(x)) stop(sprintf("'%s' must not hold NA", what), call. = FALSE)
  enc2utf8(x)
}

.one_group <- function(x, what) {
  if (length(x) != 1L || is.na(x) || !is.numeric(x) || x != round(x) || x < 0 ||
      x > .Machine$integer.max) {
    stop(sprintf("'%s' must be one group number (a whole number)", what), call. = FALSE)
  }
  as.integer(x)
}

.one_number <- function(x, what) {
  if (length(x) != 1L || !is.numeric(x) || !is.finite(x)) {
    stop(sprintf("'%s' must be one number", what), call. = FALSE)
  }
  as.double(x)
}

# The seed of a random stream: NULL draws one from R's random numbers, so
# set.seed repeats a run.
.seed <- function(seed) {
  if (is.null(seed)) seed <- sample.int(.Machine$integer.max, 1L)
  if (length(seed) != 1L || !is.numeric(seed) || is.na(seed) || seed < 0 ||
      seed > 4294967295 || seed != round(seed)) {
    stop("'seed' must be a whole number from 0 to 4294967295", call. = FALSE)
  }
  as.double(seed)
}

is_pedigree <- function(x) inherits(x, "kinvar_pedigree")

pedigree_ids <- function(ped) {
  ptr <- .ptr(ped)
  if (is.null(ped$cache$ids)) ped$cache$ids <- .value(.kv_ids(ptr))
  ped$cache$ids
}

# One line, cheap at any size; the census is summary()'s.
print.kinvar_pedigree <- function(x, ...) {
  info <- .value(.kv_info(.ptr(x)))
  cat(.headline(info$size, info$rows, length(info$groups)), "\n", sep = "")
  invisible(x)
}

.headline <- function(individuals, rows, groups) {
  count <- function(n, one, many) sprintf("%d %s", n, if (n == 1) one else many)
  paste0("Kinvar pedigree of ", count(individuals, "individual", "individuals"), " (",
         count(rows, "row", "rows"), ", ",
         count(individuals - rows, "added parent", "added parents"), ")",
         if (groups) paste0(", ", count(groups, "group", "groups")) else "")
}

# The pedigree counts its individuals, the rows and the parents added.
length.kinvar_pedigree <- function(x) .value(.kv_info(.ptr(x)))$size

dim.kinvar_pedigree <- function(x) c(length(x), 4L)

# The pedigree as held: every individual in input order with its parents
# (NA when unknown) and group (NA when none).
as.data.frame.kinvar_pedigree <- function(x, row.names = NULL, optional = FALSE, ...) {
  table <- inbreeding(x)
  out <- data.frame(id = table$id, sire = table$sire, dam = table$dam, group = table$group,
                    stringsAsFactors = FALSE)
  out$sire[out$sire %in% c("", "0")] <- NA
  out$dam[out$dam %in% c("", "0")] <- NA
  if (!is.null(row.names)) rownames(out) <- row.names
  out
}

# The individuals `i` (IDs, positions or a logical over the individuals)
# as a pedigree of their own: their rows with the parents they name, the
# parents outside them added as founders, predefined F kept.
`[.kinvar_pedigree` <- function(x, i, ...) {
  if (length(.value(.kv_info(.ptr(x)))$group_ids)) {
    stop("a pedigree with genetic groups or metafounders cannot be subset; use extract()",
         call. = FALSE)
  }
  table <- inbreeding(x)
  ids <- table$id
  if (is.logical(i)) {
    if (length(i) != length(ids) || anyNA(i)) {
      stop(sprintf("a logical subscript needs one TRUE or FALSE per individual (%d)", length(ids)),
           call. = FALSE)
    }
    keep <- which(i)
  } else if (is.numeric(i)) {
    if (anyNA(i) || any(i < 1 | i > length(ids) | i != round(i))) {
      stop(sprintf("positions must lie between 1 and %d; give IDs as character", length(ids)),
           call. = FALSE)
    }
    keep <- unique(as.integer(i))
  } else {
    wanted <- .ids(i, "i")
    keep <- match(toupper(wanted), toupper(ids))
    if (anyNA(keep)) {
      missing <- wanted[is.na(keep)]
      stop(sprintf("%d ID(s) not in the pedigree: %s%s", length(missing),
                   paste(utils::head(missing, 10L), collapse = ", "),
                   if (length(missing) > 10L) ", ..." else ""), call. = FALSE)
    }
    keep <- unique(keep)
  }
  if (!length(keep)) stop("the subscript selects no individual", call. = FALSE)
  part <- table[sort(keep), , drop = FALSE]
  frame <- data.frame(animal = part$id, sire = part$sire, dam = part$dam,
                      f = ifelse(part$f_predefined %in% TRUE, part$f, NA_real_),
                      stringsAsFactors = FALSE)
  grouped <- !all(is.na(part$group))
  if (grouped) frame$group <- part$group
  as_pedigree(frame, f = "f", group = if (grouped) "group" else NULL)
}
summary.kinvar_pedigree <- function(object, ...) {
  info <- .value(.kv_info(.ptr(object)))
  census <- .value(.kv_structure(.ptr(object), FALSE, .control(.default_threads(), FALSE)))
  structure(list(individuals = info$size, rows = info$rows, groups = info$groups,
                 census = census$summary),
            class = "summary.kinvar_pedigree")
}

print.summary.kinvar_pedigree <- function(x, ...) {
  cat(.headline(x$individuals, x$rows, length(x$groups)), "\n", sep = "")
  figures <- x$census
  if (!is.null(figures) && nrow(figures)) {
    width <- max(nchar(figures$figure))
    cat(sprintf("  %-*s %s\n", width, figures$figure, vapply(figures$value, format, "", digits = 7)),
        sep = "")
  }
  invisible(x)
}
