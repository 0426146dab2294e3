# Checks of the arguments as R gives them, with R's names in the messages.

describe <- function(x) {
  if (is.null(x)) {
    return("NULL")
  }
  if (length(x) != 1L) {
    return(sprintf("a %s of length %d", class(x)[1L], length(x)))
  }
  if (is.character(x)) encodeString(x, quote = "\"") else format(x, digits = 17L)
}

# A single number (finite unless `finite` is FALSE; NA never).
single_number <- function(x, name, finite = TRUE, call = sys.call(-1L)) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || (finite && !is.finite(x))) {
    what <- if (finite) "a single finite number" else "a single number"
    zorvi_abort(sprintf("`%s` must be %s, not %s", name, what, describe(x)), call = call)
  }
  as.double(x)
}

# A whole number from `low` to `high`, given as an integer or a double without a fraction.
whole_number <- function(x, name, low, high, range, call = sys.call(-1L)) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || x != trunc(x) || x < low || x > high) {
    zorvi_abort(sprintf("`%s` must be a whole number from %s, not %s", name, range, describe(x)),
                call = call)
  }
  as.double(x)
}

# The test's interval: two finite numbers, the start before the end.
check_interval <- function(interval, call = sys.call(-1L)) {
  if (!is.numeric(interval) || length(interval) != 2L || anyNA(interval) ||
      !all(is.finite(interval)) || !(interval[1L] < interval[2L])) {
    zorvi_abort(paste0("`interval` must be two finite numbers c(start, end), the start before ",
                       "the end, not ", paste(format(interval, digits = 17L), collapse = ", ")),
                call = call)
  }
  as.double(interval)
}

# Event times: a numeric vector (decimal years).
check_times <- function(times, call = sys.call(-1L)) {
  if (!is.numeric(times) || !is.null(dim(times))) {
    zorvi_abort(sprintf("`times` must be a numeric vector of decimal years, not %s",
                        class(times)[1L]), call = call)
  }
  as.double(times)
}

# A probability strictly between `low` and `high`.
check_probability <- function(x, name, high = 1, call = sys.call(-1L)) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || !(x > 0 && x < high)) {
    zorvi_abort(sprintf("`%s` must be a number between 0 and %s, not %s", name, high,
                        describe(x)), call = call)
  }
  as.double(x)
}
