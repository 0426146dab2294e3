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

# The test's interval: two finite times c(start, end), the start before the end.
check_interval <- function(interval, call = sys.call(-1L)) {
  years <- if (is_time(interval) && length(interval) == 2L) {
    decimal_years(interval, "interval", call = call)
  }
  if (length(years) != 2L || anyNA(years) || !all(is.finite(years)) || !(years[1L] < years[2L])) {
    zorvi_abort(paste0("`interval` must be two finite times c(start, end), the start before ",
                       "the end, not ", paste(format(interval, digits = 17L), collapse = ", ")),
                call = call)
  }
  years
}

# Times as the library takes them: decimal years as they are; dates (Date), date-times
# (POSIXct, in UTC) and ISO 8601 text as ISO 8601 text.
iso_text <- function(x) {
  if (inherits(x, "Date")) {
    return(format(x, "%Y-%m-%d"))
  }
  if (inherits(x, "POSIXt")) {
    return(format(x, "%Y-%m-%dT%H:%M:%OS6Z", tz = "UTC"))
  }
  x
}

is_time <- function(x) {
  (is.numeric(x) || is.character(x) || inherits(x, c("Date", "POSIXt"))) && is.null(dim(x))
}

# Times as decimal years: numbers as they are, the others by the rule of the CSV reader.
decimal_years <- function(x, name, call = sys.call(-1L)) {
  if (is.numeric(x)) {
    return(as.double(x))
  }
  years <- core_decimal_years(iso_text(x))
  if (inherits(years, "zorvi_failure")) {
    zorvi_abort(sprintf("`%s`: %s", name, years$message), call = call)
  }
  years
}

# Event times: decimal years, or dates, date-times or ISO 8601 text.
check_times <- function(times, call = sys.call(-1L)) {
  if (!is_time(times)) {
    zorvi_abort(paste("`times` must be decimal years, dates, date-times or ISO 8601 text,",
                      "not", class(times)[1L]), call = call)
  }
  decimal_years(times, "times", call = call)
}

# A probability strictly between `low` and `high`.
check_probability <- function(x, name, high = 1, call = sys.call(-1L)) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || !(x > 0 && x < high)) {
    zorvi_abort(sprintf("`%s` must be a number between 0 and %s, not %s", name, high,
                        describe(x)), call = call)
  }
  as.double(x)
}
