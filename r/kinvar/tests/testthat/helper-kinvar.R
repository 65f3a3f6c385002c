# Independent computations and pedigree makers for the tests.

# A by the tabular recursion over individuals listed parents first: sire and
# dam are positions (0 for unknown), fpre a founder's predefined F or NA.
tabular_a <- function(sire, dam, fpre = rep(NA_real_, length(sire))) {
  n <- length(sire)
  a <- matrix(0, n, n)
  for (i in seq_len(n)) {
    s <- sire[i]
    d <- dam[i]
    for (j in seq_len(i - 1L)) {
      v <- 0.5 * ((if (s > 0) a[j, s] else 0) + (if (d > 0) a[j, d] else 0))
      a[i, j] <- v
      a[j, i] <- v
    }
    a[i, i] <- if (s > 0 && d > 0) 1 + 0.5 * a[s, d] else 1 + (if (is.na(fpre[i])) 0 else fpre[i])
  }
  a
}

# A random pedigree as a data frame in random row order, with unknown
# parents (NA or "0"), parents that have no row, IDs in mixed case and a
# group per row; and A over its individuals, with their IDs as dimnames.
random_pedigree <- function(n, seed, missing_rows = 3L, groups = 3L, fpre = FALSE) {
  set.seed(seed)
  founders <- max(4L, n %/% 6L)
  ids <- sprintf("%s%d", sample(c("a", "B", "c", "D", "ee", "Fx"), n, TRUE), seq_len(n))
  male <- rep_len(c(TRUE, FALSE), n)
  sire <- dam <- integer(n)
  for (i in seq_len(n)[-seq_len(founders)]) {
    earlier <- seq_len(i - 1L)
    males <- earlier[male[earlier]]
    females <- earlier[!male[earlier]]
    # Parents mostly from the recent past, so that loops form.
    recent <- function(x) x[x > i - 4L * founders]
    pick <- function(x) if (length(x) == 0L) 0L else x[sample.int(length(x), 1L)]
    sire[i] <- if (runif(1) < 0.08) 0L else pick(recent(males))
    dam[i] <- if (runif(1) < 0.08) 0L else pick(recent(females))
  }
  f <- rep(NA_real_, n)
  if (fpre) {
    chosen <- which(runif(founders) < 0.3)
    f[chosen] <- round(runif(length(chosen)), 3)
  }
  a <- tabular_a(sire, dam, ifelse(sire == 0L & dam == 0L, f, NA_real_))
  dimnames(a) <- list(ids, ids)
  unknown <- function(k) ifelse(runif(length(k)) < 0.5, NA_character_, "0")
  parent_id <- function(k) ifelse(k > 0L, ids[pmax(k, 1L)], unknown(k))
  df <- data.frame(animal = ids, sire = parent_id(sire), dam = parent_id(dam),
                   group = sample.int(groups, n, TRUE), f = f, stringsAsFactors = FALSE)
  # Founders used as parents lose their row: the pedigree adds them.
  used <- intersect(which(is.na(f[seq_len(founders)])), c(sire, dam))
  drop <- used[seq_len(min(missing_rows, length(used)))]
  if (length(drop)) df <- df[-drop, ]
  df <- df[sample.int(nrow(df)), ]
  rownames(df) <- NULL
  list(df = df, a = a)
}

# The IDs in the order every per-individual result has: rows, then the
# parents without a row as the reader adds them: the dams, then the sires,
# each in the byte order of their upper-case IDs.
input_order <- function(df) {
  added <- function(parents) {
    parents <- unique(parents[!is.na(parents) & parents != "0"])
    parents <- parents[!toupper(parents) %in% toupper(df$animal)]
    parents[order(toupper(parents), method = "radix")]
  }
  c(df$animal, added(df$dam), added(df$sire))
}

# The ID columns in the core's upper case, as a pedigree read from a file
# gives them.
upper_ids <- function(table) {
  for (name in intersect(c("id", "sire", "dam"), names(table))) {
    table[[name]] <- toupper(table[[name]])
  }
  table
}

write_pedigree <- function(df, path) {
  out <- df
  out$sire[is.na(out$sire)] <- "0"
  out$dam[is.na(out$dam)] <- "0"
  if ("f" %in% names(out)) out$f <- ifelse(is.na(out$f), ".", format(out$f, digits = 15))
  write.table(out, path, quote = FALSE, row.names = FALSE, sep = " ")
  path
}

kinvar_cli <- function() Sys.getenv("KINVAR_CLI")

skip_without_cli <- function() {
  if (!nzchar(kinvar_cli()) || !file.exists(kinvar_cli())) skip("KINVAR_CLI is not set")
}

# One table of kinvar-cli's CSV output for a command, all cells as text.
cli_table <- function(args, table) {
  out <- tempfile(fileext = ".csv")
  on.exit(unlink(out))
  status <- system2(kinvar_cli(), c(args, "-q", "--format", "csv", "--table", table, "-o", out),
                    stdout = FALSE, stderr = FALSE)
  if (status != 0L) stop("kinvar-cli failed: ", paste(args, collapse = " "))
  read.csv(out, colClasses = "character", na.strings = "", check.names = FALSE,
           encoding = "UTF-8")
}

# kinvar-cli's triplets of `table` for `args` against a stored sparse matrix
# whose row names are the IDs (then the groups, with `groups`): each triplet
# is the element at its IDs, and the CLI writes every element stored.
expect_cli_triplets <- function(stored, args, table, groups = FALSE) {
  triplets <- cli_table(args, table)
  coded <- cli_table(args, "recoding")[, c("code", "id")]
  if (groups) coded <- rbind(coded, cli_table(args, "groups"))
  id_of <- setNames(coded$id, coded$code)
  ids <- toupper(rownames(stored))
  r <- match(id_of[triplets$row], ids)
  c <- match(id_of[triplets$col], ids)
  expect_false(anyNA(c(r, c)))
  expect_identical(unname(as.matrix(stored)[cbind(r, c)]), as.numeric(triplets$value))
  expect_identical(length(stored@x), nrow(triplets))
}

# Our table against kinvar-cli's: the same names, rows and cells; numbers
# compared exactly after reading the CLI's shortest digits; IDs without
# regard to case, since the CLI writes the core's upper case.
expect_same_table <- function(ours, cli, label = "") {
  expect_identical(names(ours), names(cli), label = label)
  expect_identical(nrow(ours), nrow(cli), label = label)
  for (name in names(ours)) {
    a <- ours[[name]]
    b <- cli[[name]]
    what <- paste(label, name)
    if (is.character(a)) {
      # The CSV writes an unknown sex as ".", R has NA.
      if (name == "sex") b[b %in% "."] <- NA_character_
      expect_identical(toupper(a), toupper(b), label = what)
    } else if (is.logical(a)) {
      expect_identical(a, b == "true", label = what)
    } else {
      # R's own decimal reading is not always correctly rounded: it may land
      # one unit in the last place beside the double the digits stand for.
      b <- as.numeric(b)
      expect_identical(is.na(a), is.na(b), label = what)
      close <- is.na(b) | abs(a - b) <= 2 * .Machine$double.eps * abs(b)
      expect_true(all(close), label = paste(what, "at rows", toString(head(which(!close)))))
    }
  }
}

# Evaluates `code` with the cancel check saying stop after `polls` polls.
withr_cancel <- function(polls, code) {
  old <- options(kinvar.cancel_after = polls)
  on.exit(options(old))
  code
}

# The seed file whose stream starts where the package's seed starts it: the
# generator's 624 words from Knuth's initialisation, eight a line as the
# library writes them. Multiplication and XOR mod 2^32 in 16-bit halves,
# which doubles hold exactly.
mt_seed_file <- function(seed, path) {
  mul32 <- function(a, b) {
    lo <- b %% 65536
    hi <- (b - lo) / 65536
    (a * lo + ((a * hi) %% 65536) * 65536) %% 4294967296
  }
  state <- numeric(624)
  state[1] <- seed
  for (i in 2:624) {
    prev <- state[i - 1L]
    top <- prev %/% 2^30
    low2 <- prev %% 4
    mixed <- prev - low2 + bitwXor(as.integer(low2), as.integer(top))
    state[i] <- (mul32(1812433253, mixed) + (i - 1)) %% 4294967296
  }
  words <- sprintf("%12.0f", state)
  ends <- ifelse(seq_along(words) %% 8L == 0L, "\n", " ")
  writeChar(paste0("State vector for MT19937:\n", paste0(words, ends, collapse = "")), path,
            eos = NULL, useBytes = TRUE)
  path
}

# A full-sib line: two founders, then a brother and a sister of the two
# before them in every generation.
full_sib_line <- function(generations) {
  ids <- c("S0", "D0")
  sire <- dam <- c(NA, NA)
  for (g in seq_len(generations)) {
    ids <- c(ids, sprintf("S%d", g), sprintf("D%d", g))
    sire <- c(sire, rep(sprintf("S%d", g - 1L), 2L))
    dam <- c(dam, rep(sprintf("D%d", g - 1L), 2L))
  }
  data.frame(animal = ids, sire = sire, dam = dam, group = c(1L, 1L, rep(seq_len(generations) + 1L, each = 2L)),
             stringsAsFactors = FALSE)
}
