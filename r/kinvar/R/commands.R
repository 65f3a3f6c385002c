# Any command that declares its parameters, by its kinvar-cli name and the
# keywords its declaration names: a command is reachable from R as soon as it
# is declared, before it has a function of its own.

# A keyword's value as the text the command's form would hold.
.keyword_text <- function(value, name) {
  if (is.factor(value)) value <- as.character(value)
  if (length(value) != 1L || is.na(value)) {
    stop(sprintf("'%s' must be one value", name), call. = FALSE)
  }
  if (is.logical(value)) return(if (value) "1" else "0")
  if (is.numeric(value)) return(.whole_text(value, name))
  if (is.character(value)) return(enc2utf8(value))
  stop(sprintf("'%s' must be a flag, a number or a text", name), call. = FALSE)
}

.check_command <- function(command) {
  if (length(command) != 1L || !is.character(command) || is.na(command)) {
    stop("'command' must be one command's name", call. = FALSE)
  }
}

command_keywords <- function(command) {
  .check_command(command)
  .kv_declared_keywords(command)
}

run_command <- function(ped, command, ..., threads = getOption("kinvar.threads", 0L),
                        progress = FALSE) {
  .check_command(command)
  given <- list(...)
  if (length(given) && (is.null(names(given)) || any(!nzchar(names(given))))) {
    stop("every argument after 'command' must be named by its keyword", call. = FALSE)
  }
  # NULL leaves a keyword at its default, as leaving it out does.
  given <- given[!vapply(given, is.null, logical(1))]
  keywords <- character(length(given))
  names(keywords) <- as.character(names(given))
  for (name in names(given)) keywords[[name]] <- .keyword_text(given[[name]], name)
  .genomic(ped, command, keywords, threads, progress)
}
