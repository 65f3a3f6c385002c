# The commands over a pedigree. Per-individual tables list the rows and then
# the added parents in input order; the others keep the order kinvar-cli's
# CSV has, with the same column names.

inbreeding <- function(ped, precision = c("single", "double"),
                       threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  tables <- .value(.kv_inbreeding(.ptr(ped), .control(threads, progress, precision)))
  out <- tables$inbreeding
  attr(out, "summary") <- tables$summary
  out
}

relationship <- function(ped, id1, id2, type = c("numerator", "coefficient"),
                         precision = c("single", "double"),
                         threads = getOption("kinvar.threads", 0L)) {
  type <- match.arg(type)
  precision <- match.arg(precision)
  .value(.kv_relationship(.ptr(ped), .one_id(id1, "id1"), .one_id(id2, "id2"), type,
                          .control(threads, FALSE, precision)))
}

relationships <- function(ped, ids = NULL, group = NULL, group2 = NULL,
                          type = c("numerator", "coefficient"), range = NULL,
                          precision = c("single", "double"),
                          threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  type <- match.arg(type)
  precision <- match.arg(precision)
  scope <- "all"
  group1 <- 0L
  group2_ <- 0L
  if (!is.null(ids)) {
    if (!is.null(group) || !is.null(group2)) {
      stop("give either 'ids' or groups, not both", call. = FALSE)
    }
    scope <- "ids"
  } else if (!is.null(group)) {
    group1 <- .one_group(group, "group")
    scope <- "within"
    if (!is.null(group2)) {
      group2_ <- .one_group(group2, "group2")
      scope <- "between"
    }
  } else if (!is.null(group2)) {
    stop("'group2' needs 'group'", call. = FALSE)
  }
  if (!is.null(range) && (!is.numeric(range) || length(range) != 2L || anyNA(range))) {
    stop("'range' must be two numbers, the lowest and the highest value listed", call. = FALSE)
  }
  tables <- .value(.kv_relationships(.ptr(ped), scope, .ids(if (is.null(ids)) character() else ids,
                                                            "ids"),
                                     group1, group2_, type, as.double(if (is.null(range)) numeric() else range),
                                     .control(threads, progress, precision)))
  tables$pairs
}

relationship_matrix <- function(ped, ids, type = c("numerator", "coefficient"),
                                precision = c("single", "double"),
                                threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  type <- match.arg(type)
  precision <- match.arg(precision)
  ids <- .ids(ids, "ids")
  if (as.double(length(ids))^2 > 25e6) {
    stop(sprintf("The matrix of %d IDs has more than 25000000 cells.", length(ids)),
         call. = FALSE)
  }
  out <- .value(.kv_relationship_matrix(.ptr(ped), ids, type, .control(threads, progress, precision)))
  dimnames(out) <- list(ids, ids)
  out
}

average_relatedness <- function(ped, precision = c("single", "double"),
                                threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  .value(.kv_average_relatedness(.ptr(ped), .control(threads, progress, precision)))$average_relatedness
}

average_between_groups <- function(ped, precision = c("single", "double"),
                                   threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  .value(.kv_average_between_groups(.ptr(ped), .control(threads, progress, precision)))$group_averages
}

dii <- function(ped, precision = c("single", "double"),
                threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  .value(.kv_dii(.ptr(ped), .control(threads, progress, precision)))$dii
}

# Double by default: a mixed-model solver takes these values as they are, and
# single precision's rounding shows in its solutions.
ainverse <- function(ped, precision = c("double", "single"),
                     threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  lower <- .value(.kv_ainverse(.ptr(ped), .control(threads, progress, precision)))
  .lower_matrix(lower, c(pedigree_ids(ped), lower$groups))
}

x_linked <- function(ped, inverse = FALSE, threads = getOption("kinvar.threads", 0L),
                     progress = FALSE) {
  lower <- .value(.kv_x_linked(.ptr(ped), isTRUE(inverse), .control(threads, progress)))
  .lower_matrix(lower, pedigree_ids(ped))
}

dominance <- function(ped, group = NULL, inverse = FALSE, min_value = 0,
                      precision = c("single", "double"),
                      threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  lower <- .value(.kv_dominance(.ptr(ped), !is.null(group),
                                if (is.null(group)) 0L else .one_group(group, "group"),
                                isTRUE(inverse), .one_number(min_value, "min_value"),
                                .control(threads, progress, precision)))
  .lower_matrix(lower, lower$ids)
}

# A lower triangle by compressed columns as a symmetric sparse matrix.
# Matrix loads with the first sparse result rather than with the package:
# loading it takes about as long as reading a large pedigree, and a call for
# F alone need not pay that nor its memory.
.lower_matrix <- function(lower, ids) {
  new(Matrix::.__C__dsCMatrix, Dim = c(lower$n, lower$n), Dimnames = list(ids, ids), uplo = "L",
      i = lower$i, p = lower$p, x = lower$x)
}

pedigree_structure <- function(ped, list_founders = FALSE,
                               threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  .value(.kv_structure(.ptr(ped), isTRUE(list_founders), .control(threads, progress)))
}

path_counting <- function(ped, id = NULL, group = NULL,
                          threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  if (!is.null(id) && !is.null(group)) stop("give either 'id' or 'group'", call. = FALSE)
  scope <- if (!is.null(id)) "individual" else if (!is.null(group)) "group" else "all"
  .value(.kv_path_counting(.ptr(ped), scope, if (is.null(id)) "" else .one_id(id, "id"),
                           if (is.null(group)) 0L else .one_group(group, "group"),
                           .control(threads, progress)))
}

gene_origin <- function(ped, group, threads = getOption("kinvar.threads", 0L),
                        progress = FALSE) {
  .value(.kv_gene_origin(.ptr(ped), .one_group(group, "group"), .control(threads, progress)))
}

# Not named decompose: attaching the package would mask stats::decompose.
decompose_inbreeding <- function(ped, id = NULL, group = NULL, coancestry = FALSE,
                                 precision = c("single", "double"),
                                 threads = getOption("kinvar.threads", 0L), progress = FALSE) {
  precision <- match.arg(precision)
  if (is.null(id) == is.null(group)) stop("give either 'id' or 'group'", call. = FALSE)
  scope <- if (!is.null(id)) "individual" else if (isTRUE(coancestry)) "coancestry" else "group"
  tables <- .value(.kv_decompose(.ptr(ped), scope, if (is.null(id)) "" else .one_id(id, "id"),
                                 if (is.null(group)) 0L else .one_group(group, "group"),
                                 .control(threads, progress, precision)))
  tables
}

diversity <- function(ped, group = NULL, threads = getOption("kinvar.threads", 0L),
                      progress = FALSE) {
  .value(.kv_diversity(.ptr(ped), is.null(group),
                       if (is.null(group)) 0L else .one_group(group, "group"),
                       .control(threads, progress)))
}

optimize_matings <- function(ped, sires, dams, contributions, forbidden = NULL, exact = TRUE,
                             seed = NULL, threads = getOption("kinvar.threads", 0L),
                             progress = FALSE) {
  contributions <- .contributions(contributions)
  if (is.null(forbidden)) forbidden <- data.frame(sire = character(), dam = character())
  if (!is.data.frame(forbidden) || ncol(forbidden) < 2L) {
    stop("'forbidden' must be a data frame of two columns: sire and dam", call. = FALSE)
  }
  .value(.kv_optimize_matings(.ptr(ped), .mates(ped, sires, "sires"), .mates(ped, dams, "dams"),
                              contributions$sire, contributions$dams,
                              .ids(forbidden[[1L]], "forbidden"), .ids(forbidden[[2L]], "forbidden"),
                              isTRUE(exact), .seed(seed), .control(threads, progress)))
}

# Sires or dams as R users hold them: IDs (character, factor, or whole
# numbers, more than one), or a logical column over the rows (or over every
# individual) that marks them. One whole number is a group number, as
# scripts written for groups pass it.
.mates <- function(ped, x, what) {
  if (is.null(x) || !length(x)) stop(sprintf("'%s' lists no individuals", what), call. = FALSE)
  if (is.logical(x)) {
    if (anyNA(x)) stop(sprintf("'%s' must not hold NA", what), call. = FALSE)
    ids <- pedigree_ids(ped)
    info <- .value(.kv_info(.ptr(ped)))
    if (length(x) != info$rows && length(x) != length(ids)) {
      stop(sprintf("the logical '%s' has %d values: one a row (%d) or one an individual (%d)",
                   what, length(x), info$rows, length(ids)), call. = FALSE)
    }
    return(ids[which(x)])
  }
  if (is.numeric(x) && length(x) == 1L && !is.factor(x)) return(.one_group(x, what))
  if (is.numeric(x)) {
    if (anyNA(x) || any(x != round(x))) {
      stop(sprintf("'%s' must be IDs or one group number", what), call. = FALSE)
    }
    x <- format(x, scientific = FALSE, trim = TRUE)
  }
  .ids(x, what)
}

# Sires and their numbers of dams, from a data frame (sire, dams) or a
# named vector; sires left out have none.
.contributions <- function(x) {
  if (is.data.frame(x)) {
    if (ncol(x) < 2L) stop("'contributions' needs a sire column and a dams column", call. = FALSE)
    sire <- x[[1L]]
    dams <- x[[2L]]
  } else if (is.numeric(x) && !is.null(names(x))) {
    sire <- names(x)
    dams <- unname(x)
  } else {
    stop("'contributions' must be a data frame (sire, dams) or a named vector", call. = FALSE)
  }
  if (anyNA(dams) || any(dams != round(dams)) || any(dams < 0)) {
    stop("the numbers of dams must be whole numbers", call. = FALSE)
  }
  list(sire = .ids(sire, "contributions"), dams = as.integer(dams))
}
