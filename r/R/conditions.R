# The package's errors: R conditions of class "zorvi_error", carrying the library's message.

# Signals an error of class c(class, "zorvi_error", "error", "condition") in the name of `call`.
zorvi_abort <- function(message, class = NULL, call = sys.call(-1L), ...) {
  condition <- structure(
    class = c(class, "zorvi_error", "error", "condition"),
    list(message = message, call = call, ...)
  )
  stop(condition)
}

# The value of a compiled call; a failure it returned is raised as a zorvi_error in the
# caller's name, a failed file as a "zorvi_file_error" with the system's error number (0 when
# the file itself is at fault). `rows`: the events were given as a data frame's rows.
checked <- function(value, call = sys.call(-1L), rows = FALSE) {
  if (!inherits(value, "zorvi_failure")) {
    return(value)
  }
  message <- in_r_words(value$message, rows)
  if (value$file) {
    zorvi_abort(message, "zorvi_file_error", call = call, errno = value$errno)
  }
  zorvi_abort(message, call = call)
}

# The library's messages name the command line's options, and the events given as vectors by
# "line N (event N)": here they name the arguments of study() and the data frame's rows.
# Each rewrite is one phrase the library writes; the tests check that no option is left.
option_words <- c(
  "^--threshold: " = "`threshold`: ",
  "^--interval: " = "`interval`: ",
  "^--series: " = "`series`: ",
  "^--floor: " = "`floor`: ",
  "^--prior-scale: " = "`prior_scale`: ",
  "--interval A B sets the interval" = "`interval` sets the interval",
  "--columns TIME,MAG,SE names the columns to use" = "`columns` names the columns to use",
  "--floor X sets it" = "`floor` sets it",
  "give the prior scale with --prior-scale X" = "give the prior scale as `prior_scale`"
)

in_r_words <- function(message, rows = FALSE) {
  for (option in names(option_words)) {
    message <- sub(option, option_words[[option]], message, perl = TRUE)
  }
  if (rows) {
    message <- sub(", line ([0-9]+) \\(event \\1\\): ", ", row \\1: ", message, perl = TRUE)
  }
  message
}
