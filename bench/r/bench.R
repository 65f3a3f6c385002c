# Times the R package on a large generated pedigree: as_pedigree() +
# inbreeding() from a data frame in memory against kinvar-cli's
# `inbreeding FILE --format csv`, and ainverse() to a dsCMatrix.
#
#   Rscript bench/r/bench.R [--n 1000000] [--generate PATH] [--cli PATH]
#                           [--file PATH] [--threads 0]
#
# --generate and --cli default to build/bin/kinvar-generate and
# build/bin/kinvar-cli; the file (default: a temporary one) is written by
# kinvar-generate when it does not exist. Reading the file into the data
# frame is not timed.
suppressPackageStartupMessages({
  library(kinvar)
  library(Matrix)
})

option <- function(name, default) {
  args <- commandArgs(trailingOnly = TRUE)
  at <- match(paste0("--", name), args)
  if (is.na(at)) default else args[at + 1L]
}

n <- as.numeric(option("n", "1000000"))
generate <- option("generate", "build/bin/kinvar-generate")
cli <- option("cli", "build/bin/kinvar-cli")
threads <- as.integer(option("threads", "0"))
file <- option("file", file.path(tempdir(), sprintf("generated-%d.pdg", n)))

if (!file.exists(file)) {
  status <- system2(generate, c("--n", format(n, scientific = FALSE), file), stdout = FALSE)
  if (status != 0L) stop("kinvar-generate failed")
}

df <- read.table(file, header = TRUE, comment.char = "!", sep = "\t", quote = "",
                 colClasses = c("character", "character", "character", "character"),
                 na.strings = character())
df$Group <- suppressWarnings(as.integer(ifelse(df$Group == ".", NA, df$Group)))
# The generator writes an ID in lower case now and then, so one individual
# may be spelled two ways, which a file allows and a data frame does not
# (the package gives IDs back as spelled): keep each ID's first spelling.
ids <- c(df$Progeny, df$Sire, df$Dam)
key <- toupper(ids)
ids <- ids[match(key, key)]
n_rows <- nrow(df)
df$Progeny <- ids[seq_len(n_rows)]
df$Sire <- ids[n_rows + seq_len(n_rows)]
df$Dam <- ids[2L * n_rows + seq_len(n_rows)]
rm(ids, key)
invisible(gc())

wall <- function(expr) unname(system.time(expr, gcFirst = FALSE)["elapsed"])
median_of <- function(times) stats::median(times)

load_time <- numeric()
f_time <- numeric()
for (run in 1:3) {
  load_time[run] <- wall(ped <- as_pedigree(df, id = "Progeny", sire = "Sire", dam = "Dam",
                                            group = "Group", threads = threads))
  f_time[run] <- wall(f <- inbreeding(ped, threads = threads))
}
r_total <- median_of(load_time + f_time)

csv <- tempfile(fileext = ".csv")
# kinvar-cli takes no --threads 0: its default is one thread per core.
cli_threads <- if (threads > 0L) c("--threads", threads) else character()
cli_time <- vapply(1:3, function(run) {
  seconds <- wall(status <- system2(cli, c("inbreeding", file, "--format", "csv", "-q",
                                           "-o", csv, cli_threads)))
  if (status != 0L) stop("kinvar-cli failed")
  seconds
}, numeric(1))
unlink(csv)

ainv_time <- numeric()
for (run in 1:3) ainv_time[run] <- wall(ainv <- ainverse(ped, threads = threads))

cat(sprintf("pedigree: %s rows, %d individuals\n", format(nrow(df), big.mark = ","),
            length(pedigree_ids(ped))))
cat(sprintf("as_pedigree               %6.2f s (median of 3)\n", median_of(load_time)))
cat(sprintf("inbreeding                %6.2f s\n", median_of(f_time)))
cat(sprintf("as_pedigree + inbreeding  %6.2f s  (first run %.2f s)\n", r_total,
            load_time[1] + f_time[1]))
cat(sprintf("kinvar-cli inbreeding csv %6.2f s  (ratio %.2f, target <= 1.5)\n",
            median_of(cli_time), r_total / median_of(cli_time)))
cat(sprintf("ainverse to dsCMatrix     %6.2f s  (first run %.2f s; %s non-zeros in the lower triangle, target < 5 s)\n",
            median_of(ainv_time), ainv_time[1], format(length(ainv@x), big.mark = ",")))
cat(sprintf("load average             %s\n", paste(readLines("/proc/loadavg", warn = FALSE), collapse = " ")))
