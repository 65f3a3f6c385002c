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

print.kinvar_pedigree <- function(x, ...) {
  print(summary(x))
  invisible(x)
}

summary.kinvar_pedigree <- function(object, ...) {
  info <- .value(.kv_info(.ptr(object)))
  census <- .value(.kv_structure(.ptr(object), FALSE, .control(.default_threads(), FALSE)))
  structure(list(individuals = info$size, rows = info$rows, groups = info$groups,
                 census = census$summary),
            class = "summary.kinvar_pedigree")
}

print.summary.kinvar_pedigree <- function(x, ...) {
  added <- x$individuals - x$rows
  cat(sprintf("Kinvar pedigree of %d individuals (%d rows, %d added parents)", x$individuals,
              x$rows, added))
  if (length(x$groups)) cat(sprintf(", %d groups", length(x$groups)))
  cat("\n")
  figures <- x$census
  if (!is.null(figures) && nrow(figures)) {
    width <- max(nchar(figures$figure))
    cat(sprintf("  %-*s %s\n", width, figures$figure, vapply(figures$value, format, "", digits = 7)),
        sep = "")
  }
  invisible(x)
}
