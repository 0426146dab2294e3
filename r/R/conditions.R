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
# the file itself is at fault).
checked <- function(value, call = sys.call(-1L)) {
  if (!inherits(value, "zorvi_failure")) {
    return(value)
  }
  if (value$file) {
    zorvi_abort(value$message, "zorvi_file_error", call = call, errno = value$errno)
  }
  zorvi_abort(value$message, call = call)
}
